#include "VolumeCatalog.h"

#include "platform/FileSystemProbe.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstring>

namespace morvane {

namespace {

quint64 deviceKey(quint32 major, quint32 minor)
{
    return (quint64(major) << 32) | minor;
}

// mountinfo writes space, tab, newline and backslash in paths as three-digit octal escapes.
QString unescapeMountPath(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '7' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return QString::fromUtf8(out);
}

bool isBlockDevice(const QString& path, quint32 major, quint32 minor)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISBLK(st.st_mode) &&
           ::major(st.st_rdev) == major && ::minor(st.st_rdev) == minor;
}

// The mount a path is on, when the path still leads to the device its status was read from.
std::optional<quint64> mountIdOf(const QString& path, const FileStatus& status)
{
    if (path.isEmpty() || pathHoldsNul(path))
        return std::nullopt;
    struct statx sx {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_STATX_SYNC_AS_STAT, STATX_MNT_ID, &sx) !=
            0 ||
        !(sx.stx_mask & STATX_MNT_ID) || sx.stx_dev_major != status.deviceMajor ||
        sx.stx_dev_minor != status.deviceMinor)
        return std::nullopt;
    return sx.stx_mnt_id;
}

bool isUnder(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(u'/');
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

} // namespace

LinuxVolumeCatalog::LinuxVolumeCatalog(QString byUuidFolder, QString mountInfoFile)
    : m_byUuidFolder(std::move(byUuidFolder))
    , m_mountInfoFile(std::move(mountInfoFile))
{
}

std::shared_ptr<LinuxVolumeCatalog> LinuxVolumeCatalog::shared()
{
    static const auto instance = std::make_shared<LinuxVolumeCatalog>();
    return instance;
}

QList<MountEntry> LinuxVolumeCatalog::parseMountInfo(const QByteArray& text)
{
    QList<MountEntry> mounts;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        bool idOk = false;
        MountEntry entry;
        entry.mountId = fields[0].toULongLong(&idOk);
        const QList<QByteArray> device = fields[2].split(':');
        if (!idOk || device.size() != 2)
            continue;
        bool majorOk = false;
        bool minorOk = false;
        entry.deviceMajor = device[0].toUInt(&majorOk);
        entry.deviceMinor = device[1].toUInt(&minorOk);
        if (!majorOk || !minorOk)
            continue;
        entry.root = unescapeMountPath(fields[3]);
        entry.mountPoint = unescapeMountPath(fields[4]);
        mounts.append(entry);
    }
    return mounts;
}

QList<MountEntry> LinuxVolumeCatalog::readMounts() const
{
    QFile file(m_mountInfoFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseMountInfo(file.readAll());
}

std::optional<QString> LinuxVolumeCatalog::uuidOfDevice(quint32 major, quint32 minor) const
{
    // Not every machine has this folder (containers and some CI machines do not).
    QDir folder(m_byUuidFolder);
    if (!folder.exists())
        return std::nullopt;
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names)
        if (isBlockDevice(folder.filePath(name), major, minor))
            return name;
    return std::nullopt;
}

QString LinuxVolumeCatalog::identifierFor(const QString& path, quint32 major, quint32 minor) const
{
    if (const auto uuid = uuidOfDevice(major, minor))
        return QStringLiteral("uuid:") + *uuid;
    struct statfs fs {};
    if (!path.isEmpty() && !pathHoldsNul(path) && ::statfs(QFile::encodeName(path).constData(), &fs) == 0) {
        int words[2];
        static_assert(sizeof(words) == sizeof(fs.f_fsid));
        std::memcpy(words, &fs.f_fsid, sizeof(words));
        if (words[0] != 0 || words[1] != 0)
            return QStringLiteral("fsid:%1%2")
                .arg(quint32(words[0]), 8, 16, QLatin1Char('0'))
                .arg(quint32(words[1]), 8, 16, QLatin1Char('0'));
    }
    return QStringLiteral("dev:%1:%2").arg(major).arg(minor);
}

bool LinuxVolumeCatalog::stillNamesDevice(const QString& identifier, quint32 major, quint32 minor) const
{
    const QLatin1String uuidPrefix("uuid:");
    if (!identifier.startsWith(uuidPrefix))
        return true;
    return isBlockDevice(m_byUuidFolder + u'/' + identifier.mid(uuidPrefix.size()), major, minor);
}

QString LinuxVolumeCatalog::volumeIdentifier(const QString& path, const FileStatus& status) const
{
    const auto mountId = status.mountId ? status.mountId : mountIdOf(path, status);
    if (!mountId)
        return identifierFor(path, status.deviceMajor, status.deviceMinor);
    const QPair<quint64, quint64> key{deviceKey(status.deviceMajor, status.deviceMinor), *mountId};
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_volumeByMount.constFind(key);
            it != m_volumeByMount.constEnd() && stillNamesDevice(*it, status.deviceMajor, status.deviceMinor))
            return *it;
    }
    QString identifier = identifierFor(path, status.deviceMajor, status.deviceMinor);
    std::lock_guard lock(m_mutex);
    m_volumeByMount.insert(key, identifier);
    return identifier;
}

std::optional<MountEntry> LinuxVolumeCatalog::mountOf(const QString& path, const FileStatus& status) const
{
    if (status.mountId) {
        std::lock_guard lock(m_mutex);
        const auto it = m_mountById.constFind(*status.mountId);
        if (it != m_mountById.constEnd() && it->deviceMajor == status.deviceMajor &&
            it->deviceMinor == status.deviceMinor)
            return *it;
    }
    const QList<MountEntry> mounts = readMounts();
    std::optional<MountEntry> found;
    for (const MountEntry& mount : mounts) {
        if (status.mountId && mount.mountId == *status.mountId) {
            found = mount;
            break;
        }
        // Without a mount id: the deepest mount of the same device that holds the path.
        if (!status.mountId && mount.deviceMajor == status.deviceMajor &&
            mount.deviceMinor == status.deviceMinor && isUnder(path, mount.mountPoint) &&
            (!found || mount.mountPoint.size() > found->mountPoint.size()))
            found = mount;
    }
    if (found) {
        std::lock_guard lock(m_mutex);
        m_mountById.insert(found->mountId, *found);
    }
    return found;
}

QList<MountEntry> LinuxVolumeCatalog::mountsOfVolume(const QString& identifier) const
{
    QList<MountEntry> result;
    for (const MountEntry& mount : readMounts()) {
        FileStatus deviceOnly;
        deviceOnly.deviceMajor = mount.deviceMajor;
        deviceOnly.deviceMinor = mount.deviceMinor;
        deviceOnly.mountId = mount.mountId;
        if (volumeIdentifier(mount.mountPoint, deviceOnly) == identifier)
            result.append(mount);
    }
    return result;
}

} // namespace morvane
