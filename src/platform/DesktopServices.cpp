#include "DesktopServices.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "platform/ProcessLauncher.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHash>
#include <QPromise>
#include <QRegularExpression>

#include <chrono>
#include <utility>

MORVANE_LOGGING_CATEGORY(lcDesktop, "DesktopServices")

namespace morvane {

namespace {

using namespace std::chrono_literals;

constexpr auto handlerQueryTimeout = 5s;

// The folders that hold desktop files, most personal first.
QStringList applicationFolders()
{
    QStringList folders{dataHome() + QStringLiteral("/applications")};
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts))
        folders.append(dir + QStringLiteral("/applications"));
    return folders;
}

// A desktop file name that cannot leave the folder it is looked up in.
bool isPlainDesktopName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]*$"));
    return plain.match(name).hasMatch();
}

std::optional<QString> findDesktopFile(const QString& fileName)
{
    if (!isPlainDesktopName(fileName))
        return std::nullopt;
    for (const QString& folder : applicationFolders()) {
        const QString path = folder + u'/' + fileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

// The general escapes of a desktop-file value (\s, \n, \t, \r, \\); the quoting rules of an Exec
// value apply to the result.
QString unescapeValue(const QString& value)
{
    static const QHash<QChar, QChar> escapes{
        {u's', u' '}, {u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'}, {u'\\', u'\\'}};
    QString result;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const auto escaped =
            i + 1 < value.size() && value[i] == u'\\' ? escapes.find(value[i + 1]) : escapes.end();
        if (escaped == escapes.end()) {
            result.append(value[i]);
        } else {
            result.append(*escaped);
            ++i;
        }
    }
    return result;
}

// Splits an Exec value into arguments: blanks separate, double quotes group, and inside quotes a
// backslash takes the next character literally.
QStringList splitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool inArgument = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size())
                current.append(exec[++i]);
            else if (c == u'"')
                quoted = false;
            else
                current.append(c);
        } else if (c == u'"') {
            quoted = inArgument = true;
        } else if (c == u' ' || c == u'\t') {
            if (inArgument)
                arguments.append(std::exchange(current, QString()));
            inArgument = false;
        } else {
            current.append(c);
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}

// Field codes stand for files, URLs, the icon or the name; nothing is passed at a plain launch.
QStringList withoutFieldCodes(const QStringList& arguments)
{
    static const QRegularExpression fieldCode(QStringLiteral("%[fFuUdDnNickvm]"));
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.size() == 2 && fieldCode.match(argument).hasMatch())
            continue;
        QString cleaned;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] == u'%' && i + 1 < argument.size()) {
                if (argument[++i] == u'%')
                    cleaned.append(u'%');
                continue;
            }
            cleaned.append(argument[i]);
        }
        result.append(cleaned);
    }
    return result;
}

// The program and arguments of a desktop file's Exec line, field codes dropped; empty when the
// file has none.
QStringList execCommand(const QString& desktopFilePath)
{
    QFile file(desktopFilePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.startsWith(QStringLiteral("Exec")))
            if (const qsizetype eq = line.indexOf(u'=');
                eq > 0 && line.left(eq).trimmed() == QStringLiteral("Exec"))
                return withoutFieldCodes(splitExec(unescapeValue(line.mid(eq + 1).trimmed())));
    }
    return {};
}

// Whether xdg-mime's answer names a desktop file that exists. A run that failed, timed out or was
// abandoned names none.
bool namesInstalledHandler(const QFuture<ProcessResult>& query)
{
    ProcessResult result;
    try {
        if (query.resultCount() > 0)
            result = query.result();
    } catch (...) {
    }
    if (!result.succeeded())
        return false;
    const QString desktopFile = QString::fromUtf8(result.standardOutput).trimmed();
    return !desktopFile.isEmpty() && findDesktopFile(desktopFile).has_value();
}

bool startOpener(ProcessLauncher& launcher, const QString& url)
{
    if (launcher.startDetached(QStringLiteral("xdg-open"), {url}))
        return true;
    qCWarning(lcDesktop) << "Could not start xdg-open for" << privateValue(url);
    return false;
}

} // namespace

XdgDesktopServices::XdgDesktopServices(std::shared_ptr<ProcessLauncher> launcher)
    : m_launcher(std::move(launcher))
{
}

QFuture<bool> XdgDesktopServices::openUrl(const QString& url)
{
    const std::optional<LocatorUrl> parsed = LocatorUrl::parse(url);
    if (!parsed)
        return QtFuture::makeReadyFuture(false);
    if (parsed->isFileUrl())
        return QtFuture::makeReadyFuture(startOpener(*m_launcher, url));
    const QString scheme = parsed->scheme().toLower();
    QFuture<ProcessResult> query = m_launcher->run(
        QStringLiteral("xdg-mime"),
        {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/") + scheme},
        handlerQueryTimeout);
    auto answer = std::make_shared<QPromise<bool>>();
    answer->start();
    // Watched rather than continued: a continuation attached while the launcher's thread finishes
    // the run can run twice with this Qt. The watcher lives on this thread, so xdg-open starts here,
    // and holds the launcher, not this object.
    auto* watcher = new QFutureWatcher<ProcessResult>();
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, answer, launcher = m_launcher, url, scheme] {
                         watcher->deleteLater();
                         bool opened = false;
                         if (namesInstalledHandler(watcher->future()))
                             opened = startOpener(*launcher, url);
                         else
                             qCInfo(lcDesktop).noquote() << "No application handles" << scheme << "URLs";
                         answer->addResult(opened);
                         answer->finish();
                     });
    watcher->setFuture(query);
    return answer->future();
}

std::optional<QString> XdgDesktopServices::applicationPath(const QString& identifier) const
{
    return findDesktopFile(identifier + QStringLiteral(".desktop"));
}

bool XdgDesktopServices::launchApplication(const QString& identifier)
{
    const std::optional<QString> desktopFile = applicationPath(identifier);
    if (!desktopFile)
        return false;
    QStringList command = execCommand(*desktopFile);
    if (command.isEmpty()) {
        qCWarning(lcDesktop).noquote() << "The desktop file of" << identifier << "has no command";
        return false;
    }
    const QString program = command.takeFirst();
    return m_launcher->startDetached(program, command);
}

} // namespace morvane
