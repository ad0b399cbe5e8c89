#pragma once

#include "platform/FileStatus.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// One mounted file system (or part of one, for a bind mount).
struct MountEntry {
    quint64 mountId = 0;
    quint32 deviceMajor = 0;
    quint32 deviceMinor = 0;
    QString root;       // the folder of the file system that is mounted, "/" for the whole of it
    QString mountPoint; // where it is mounted

    bool operator==(const MountEntry&) const = default;
};

// Names volumes and finds where they are mounted. Callable from any thread.
class VolumeCatalog {
public:
    virtual ~VolumeCatalog() = default;

    // The identifier text of the volume holding the file at path (whose status is given).
    virtual QString volumeIdentifier(const QString& path, const FileStatus& status) const = 0;
    // The mount the file at path belongs to.
    virtual std::optional<MountEntry> mountOf(const QString& path, const FileStatus& status) const = 0;
    // Every current mount of the volume with that identifier.
    virtual QList<MountEntry> mountsOfVolume(const QString& volumeIdentifier) const = 0;
};

// "uuid:" and the file system UUID when /dev/disk/by-uuid names the device, else "fsid:" and the
// statfs file system id in hex when it is not zero, else "dev:major:minor". Cached per mount (device
// and mount id), so that a volume mounted later on a reused device number is named afresh; a cached
// UUID is checked against /dev/disk/by-uuid on every use, as mount ids are reused too.
class LinuxVolumeCatalog : public VolumeCatalog {
public:
    // The folders are parameters so that tests can lay out their own.
    explicit LinuxVolumeCatalog(QString byUuidFolder = QStringLiteral("/dev/disk/by-uuid"),
                                QString mountInfoFile = QStringLiteral("/proc/self/mountinfo"));

    QString volumeIdentifier(const QString& path, const FileStatus& status) const override;
    std::optional<MountEntry> mountOf(const QString& path, const FileStatus& status) const override;
    QList<MountEntry> mountsOfVolume(const QString& volumeIdentifier) const override;

    static std::shared_ptr<LinuxVolumeCatalog> shared();

    // Reads a mountinfo table (the format of /proc/self/mountinfo).
    static QList<MountEntry> parseMountInfo(const QByteArray& text);

private:
    QList<MountEntry> readMounts() const;
    std::optional<QString> uuidOfDevice(quint32 major, quint32 minor) const;
    QString identifierFor(const QString& path, quint32 major, quint32 minor) const;
    bool stillNamesDevice(const QString& identifier, quint32 major, quint32 minor) const;

    QString m_byUuidFolder;
    QString m_mountInfoFile;
    mutable std::mutex m_mutex;
    mutable QHash<QPair<quint64, quint64>, QString> m_volumeByMount; // (device, mount id)
    mutable QHash<quint64, MountEntry> m_mountById;
};

} // namespace morvane
