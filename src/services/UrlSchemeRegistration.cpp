#include "UrlSchemeRegistration.h"

#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "platform/DesktopEntry.h"
#include "platform/ProcessLauncher.h"

#include <QCoro/QCoroFuture>
#include <QFile>

MORVANE_LOGGING_CATEGORY(lcUrlScheme, "URLScheme")

namespace morvane {

namespace {

const QString desktopFileName = QStringLiteral("morvane.desktop");
const QString schemeType = QStringLiteral("x-scheme-handler/morvane");
constexpr std::chrono::milliseconds queryTimeout{5000};

// Whether a system entry of ours (the package's) takes the scheme.
bool systemEntryDeclaresScheme()
{
    for (const QString& directory : desktop_entry::systemDataDirectories()) {
        const std::optional<QByteArray> contents =
            desktop_entry::read(directory + QStringLiteral("/applications/") + desktopFileName);
        if (!contents)
            continue;
        const QStringList types =
            desktop_entry::keys(*contents).value(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
        return types.contains(schemeType);
    }
    return false;
}

} // namespace

QStringList morvaneUrls(const QStringList& arguments)
{
    QStringList urls;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QStringLiteral("morvane:"), Qt::CaseInsensitive))
            urls.append(argument);
    }
    return urls;
}

UrlSchemeRegistration::UrlSchemeRegistration(std::shared_ptr<ProcessLauncher> launcher)
    : m_launcher(std::move(launcher))
{
}

QString UrlSchemeRegistration::desktopFilePath()
{
    return dataHome() + QStringLiteral("/applications/") + desktopFileName;
}

QString UrlSchemeRegistration::execLine(const QString& executable)
{
    return QStringLiteral("Exec=") + desktop_entry::execValue(executable) + QStringLiteral(" %u");
}

bool UrlSchemeRegistration::writeDesktopFileIfNeeded(const QString& executable)
{
    const QString path = desktopFilePath();
    const std::optional<QByteArray> contents = desktop_entry::read(path);
    const QHash<QString, QString> keys =
        contents ? desktop_entry::keys(*contents) : QHash<QString, QString>();
    const bool ours = contents && desktop_entry::isMorvaneEntry(keys);
    if (systemEntryDeclaresScheme()) {
        // The installed menu entry takes the links. A hidden handler of ours under the same name would
        // hide that entry from the menu, so one left from a run in a build folder goes.
        if (ours && keys.value(QStringLiteral("NoDisplay")) == QLatin1String("true") && !QFile::remove(path))
            qCWarning(lcUrlScheme).noquote() << "Cannot remove" << privateValue(path);
        return true;
    }
    const QString exec = execLine(executable).mid(int(qstrlen("Exec=")));
    if (contents) {
        // Another program's entry is left alone; ours follows the program that runs now.
        if (!ours || keys.value(QStringLiteral("Exec")) == exec)
            return true;
        if (desktop_entry::write(path, desktop_entry::withExec(*contents, exec)))
            return true;
        qCWarning(lcUrlScheme).noquote() << "Cannot write" << privateValue(path);
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Morvane\n"
                                         "Icon=morvane\n"
                                         "Exec=") +
                          exec +
                          QStringLiteral("\n"
                                         "MimeType=x-scheme-handler/morvane;\n"
                                         "NoDisplay=true\n"
                                         "Terminal=false\n");
    if (desktop_entry::write(path, entry.toUtf8()))
        return true;
    qCWarning(lcUrlScheme).noquote() << "Cannot write" << privateValue(path);
    return false;
}

QCoro::Task<> UrlSchemeRegistration::registerScheme(QString executable)
{
    // Only the launcher is used after the wait: this object need not outlive the call.
    const std::shared_ptr<ProcessLauncher> launcher = m_launcher;
    if (!writeDesktopFileIfNeeded(executable))
        co_return;
    ProcessResult current;
    try {
        QFuture<ProcessResult> query =
            launcher->run(QStringLiteral("xdg-mime"),
                          {QStringLiteral("query"), QStringLiteral("default"), schemeType}, queryTimeout);
        current = co_await query;
    } catch (...) {
        // Asked anew below, as when nothing is the default.
    }
    if (current.succeeded() && QString::fromUtf8(current.standardOutput).trimmed() == desktopFileName)
        co_return;
    if (!launcher->startDetached(QStringLiteral("xdg-mime"),
                                 {QStringLiteral("default"), desktopFileName, schemeType}))
        qCWarning(lcUrlScheme) << "Cannot start xdg-mime to handle morvane links";
}

} // namespace morvane
