#include "FileManagerBus.h"

#include "platform/SessionBus.h"

#include <QDir>
#include <QUrl>
#include <QVariantMap>

namespace morvane {

namespace {

const BusObject fileManager{QStringLiteral("org.freedesktop.FileManager1"),
                            QStringLiteral("/org/freedesktop/FileManager1"),
                            QStringLiteral("org.freedesktop.FileManager1")};

std::optional<QString> localFolder(const QString& uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        return std::nullopt;
    QString path = url.toLocalFile();
    if (!path.startsWith(u'/') || path.contains(QChar(u'\0')))
        return std::nullopt;
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

// The windows the process lists with their locations. The process that owns the well-known name is
// asked by it; another one (Nautilus started after Nemo, Caja or Thunar took the name) still serves the
// interface on its own connection, which is asked by the connection's unique name. Only the process's
// own answer is taken: the windows another file manager lists are its own, and an object path of ours
// may name another window there.
std::optional<QVariantMap> openWindowsOfProcess(const SessionBus& bus, qint64 processId)
{
    const auto windowsAt = [&bus](const QString& service) -> std::optional<QVariantMap> {
        const std::optional<QVariant> windows = bus.property(
            {service, fileManager.path, fileManager.interface}, QStringLiteral("OpenWindowsWithLocations"));
        if (!windows || windows->userType() != QMetaType::QVariantMap)
            return std::nullopt;
        return windows->toMap();
    };
    if (bus.ownerProcessId(fileManager.service) == processId)
        return windowsAt(fileManager.service);
    for (const QString& connection : bus.namesWithPrefix(QStringLiteral(":"))) {
        if (bus.ownerProcessId(connection) != processId)
            continue;
        if (std::optional<QVariantMap> windows = windowsAt(connection))
            return windows;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> fileManagerWindowFolder(const SessionBus& bus, const FileManagerWindow& window)
{
    if (window.processId <= 0 || window.objectPath.isEmpty())
        return std::nullopt;
    const std::optional<QVariantMap> windows = openWindowsOfProcess(bus, window.processId);
    if (!windows)
        return std::nullopt;
    const QVariantMap& map = *windows;
    const auto found = map.constFind(window.objectPath);
    if (found == map.constEnd())
        return std::nullopt;

    QStringList folders;
    for (const QString& uri : found->toStringList()) {
        if (const std::optional<QString> folder = localFolder(uri); folder && !folders.contains(*folder))
            folders.append(*folder);
    }
    if (folders.size() == 1)
        return folders.first();
    // Several tabs: the window is titled after the folder of the tab in front.
    std::optional<QString> named;
    for (const QString& folder : folders) {
        const QString name = folder == QLatin1String("/") ? folder : folder.section(u'/', -1);
        const bool home = QDir(folder) == QDir::home() && window.title == QLatin1String("Home");
        if (name != window.title && !home)
            continue;
        if (named)
            return std::nullopt;
        named = folder;
    }
    return named;
}

} // namespace morvane
