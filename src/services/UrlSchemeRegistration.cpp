#include "UrlSchemeRegistration.h"

#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "platform/ProcessLauncher.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

MORVANE_LOGGING_CATEGORY(lcUrlScheme, "URLScheme")

namespace morvane {

namespace {

const QString desktopFileName = QStringLiteral("morvane.desktop");
const QString schemeType = QStringLiteral("x-scheme-handler/morvane");
constexpr std::chrono::milliseconds queryTimeout{5000};

bool needsQuoting(const QString& path)
{
    for (const QChar c : path) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && !QStringLiteral("/._+-").contains(c))
            return true;
    }
    return false;
}

// The Exec line of the entry there, or nothing when there is no readable entry.
std::optional<QString> storedExecLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.trimmed());
    }
    return QString();
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
    QString program = executable;
    if (needsQuoting(program)) {
        // Inside quotes these four are escaped with a backslash; then the value's own escaping
        // doubles every backslash once more.
        QString quoted;
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        program = u'"' + quoted + u'"';
        program.replace(u'\\', QStringLiteral("\\\\"));
    }
    program.replace(u'%', QStringLiteral("%%"));
    return QStringLiteral("Exec=") + program + QStringLiteral(" %u");
}

bool UrlSchemeRegistration::writeDesktopFileIfNeeded(const QString& executable)
{
    const QString path = desktopFilePath();
    const QString exec = execLine(executable);
    if (storedExecLine(path) == exec)
        return true;
    if (!QDir().mkpath(QFileInfo(path).path())) {
        qCWarning(lcUrlScheme).noquote() << "Cannot make the applications folder for" << privateValue(path);
        return false;
    }
    QSaveFile file(path);
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Morvane\n"
                                         "Icon=morvane\n") +
                          exec +
                          QStringLiteral("\n"
                                         "MimeType=x-scheme-handler/morvane;\n"
                                         "NoDisplay=true\n"
                                         "Terminal=false\n");
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit()) {
        qCWarning(lcUrlScheme).noquote() << "Cannot write" << privateValue(path) << file.errorString();
        return false;
    }
    return true;
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
