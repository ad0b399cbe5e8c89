#include "CommandLine.h"

#include "app/IncomingUrls.h"
#include "desktop/Branding.h"
#include "services/UrlSchemeRegistration.h"

#include <QCommandLineParser>

namespace morvane {

namespace {

// The option names as the user typed them before any "=value".
QString typedOption(const QStringList& arguments, const QStringList& unknownNames)
{
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(u'-') || argument.size() < 2)
            continue;
        QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        name = name.left(name.indexOf(u'='));
        if (unknownNames.contains(name))
            return argument.left(argument.indexOf(u'=') < 0 ? argument.size() : argument.indexOf(u'='));
    }
    return unknownNames.isEmpty() ? QString() : QStringLiteral("--") + unknownNames.constFirst();
}

QString helpText()
{
    return usageLine() +
           QStringLiteral("\n"
                          "Keeps links between your files, folders, web pages, mail messages, notes, "
                          "calendar events\n"
                          "and contacts, and shows those of the item in front of you. Without a "
                          "running Morvane this\n"
                          "starts one; otherwise the options and links go to the running one, and a\n"
                          "start without any shows its quick panel.\n"
                          "\n"
                          "Options:\n"
                          "  --quick-panel   Show or hide the quick panel.\n"
                          "  --graph         Show or hide the graph window.\n"
                          "  --preferences   Open the Preferences window.\n"
                          "  --quit          Quit the running Morvane.\n"
                          "  -h, --help      Show this help and exit.\n"
                          "  -v, --version   Print the version and exit.\n"
                          "\n"
                          "Arguments:\n"
                          "  morvane://open/<id>   Open the saved item with this id (as a link "
                          "copied from Morvane\n"
                          "                        gives it).\n");
}

} // namespace

bool CommandLine::quits() const
{
    return items.contains(quitCommand);
}

QString usageLine()
{
    return QStringLiteral("Usage: morvane [options] [morvane://open/<id> ...]\n");
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // "-platform" is one option, not the letters p, l, a...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption platform(QStringLiteral("platform"), {}, QStringLiteral("name"));
    parser.addOptions({help, version, platform, QCommandLineOption(quickPanelCommand.mid(2)),
                       QCommandLineOption(graphCommand.mid(2)), QCommandLineOption(preferencesCommand.mid(2)),
                       QCommandLineOption(quitCommand.mid(2))});

    CommandLine line;
    // The parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("morvane")} + arguments)) {
        line.action = CommandLine::Action::usageError;
        const QStringList unknown = parser.unknownOptionNames();
        line.text =
            unknown.isEmpty()
                ? QStringLiteral("morvane: ") + parser.errorText() + u'\n'
                : QStringLiteral("morvane: unknown option '%1'\n").arg(typedOption(arguments, unknown));
        line.text += usageLine();
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::help;
        line.text = helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::version;
        line.text = QStringLiteral("Morvane %1\n").arg(appVersion());
        return line;
    }
    line.platform = parser.value(platform);
    // The order of the command line, which the parser does not keep between options and URLs. After
    // "--" every word is an argument, so only URLs count there.
    const qsizetype end = arguments.indexOf(QStringLiteral("--"));
    QStringList ordered = incomingItems(end < 0 ? arguments : arguments.first(end));
    if (end >= 0)
        ordered += morvaneUrls(arguments.mid(end + 1));
    line.items = ordered;
    return line;
}

} // namespace morvane
