#include "XdgAutostartLoginItem.h"

#include "foundation/Paths.h"
#include "platform/DesktopEntry.h"
#include "platform/FileSystemProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

namespace morvane {

namespace {

const QString entryFileName = QStringLiteral("morvane.desktop");

QString folderName(const QString& directory)
{
    return QFileInfo(directory).fileName();
}

// After a failed write or removal: whether the folder itself refuses us. The file operations do
// not keep errno, so it is asked again.
bool folderDeniesWriting(const QString& directory)
{
    const QByteArray native = QFile::encodeName(directory);
    if (::access(native.constData(), W_OK) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(QCoreApplication::applicationFilePath(),
                            configHome() + QStringLiteral("/autostart"))
{
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executablePath, QString autostartDirectory)
    : m_executablePath(std::move(executablePath))
    , m_autostartDirectory(std::move(autostartDirectory))
{
}

QString XdgAutostartLoginItem::filePath() const
{
    return m_autostartDirectory + u'/' + entryFileName;
}

bool XdgAutostartLoginItem::executableExists() const
{
    const QFileInfo program(m_executablePath);
    return !m_executablePath.isEmpty() && program.isAbsolute() && program.isFile() &&
           !pathHoldsNul(m_executablePath);
}

LoginItemStatus XdgAutostartLoginItem::status() const
{
    if (!executableExists())
        return LoginItemStatus::notFound;
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return LoginItemStatus::notRegistered;
    const QHash<QString, QString> keys = desktop_entry::keys(file.readAll());
    const bool switchedOff =
        keys.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false");
    if (switchedOff || keys.value(QStringLiteral("Exec")) != execValue(m_executablePath))
        return LoginItemStatus::notRegistered;
    return LoginItemStatus::enabled;
}

QByteArray XdgAutostartLoginItem::desktopEntry() const
{
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Morvane\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(m_executablePath));
    return entry.toUtf8();
}

void XdgAutostartLoginItem::registerItem()
{
    if (!executableExists())
        throw LoginItemError(fileErrorDescription(m_executablePath, ENOENT));
    QSaveFile file(filePath());
    const bool written = QDir().mkpath(m_autostartDirectory) && file.open(QIODevice::WriteOnly) &&
                         file.write(desktopEntry()) >= 0 && file.commit();
    if (written)
        return;
    const QString folder = folderName(m_autostartDirectory);
    if (folderDeniesWriting(m_autostartDirectory)) {
        throw LoginItemError(
            QStringLiteral("You don’t have permission to save the file “%1” in the folder “%2”.")
                .arg(entryFileName, folder));
    }
    throw LoginItemError(
        QStringLiteral("The file “%1” couldn’t be saved in the folder “%2”.").arg(entryFileName, folder));
}

bool XdgAutostartLoginItem::followRunningProgram()
{
    if (!executableExists())
        return false;
    const std::optional<QByteArray> contents = desktop_entry::read(filePath());
    if (!contents)
        return false;
    const QHash<QString, QString> keys = desktop_entry::keys(*contents);
    const QString exec = execValue(m_executablePath);
    if (!desktop_entry::isMorvaneEntry(keys) || keys.value(QStringLiteral("Exec")) == exec)
        return false;
    return desktop_entry::write(filePath(), desktop_entry::withExec(*contents, exec));
}

void XdgAutostartLoginItem::unregisterItem()
{
    QFile file(filePath());
    if (!file.exists() || file.remove())
        return;
    if (folderDeniesWriting(m_autostartDirectory)) {
        throw LoginItemError(
            QStringLiteral("“%1” couldn’t be removed because you don’t have permission to access it.")
                .arg(entryFileName));
    }
    throw LoginItemError(QStringLiteral("“%1” couldn’t be removed.").arg(entryFileName));
}

QString XdgAutostartLoginItem::execValue(const QString& executablePath)
{
    return desktop_entry::execValue(executablePath);
}

} // namespace morvane
