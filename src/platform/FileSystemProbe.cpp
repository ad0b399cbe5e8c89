#include "FileSystemProbe.h"

#include "foundation/Error.h"
#include "foundation/LocatorUrl.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace morvane {

namespace {

FileTimestamp timestamp(const struct statx_timestamp& t)
{
    return FileTimestamp{t.tv_sec, t.tv_nsec};
}

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::regular;
    if (S_ISDIR(mode))
        return FileKind::directory;
    if (S_ISLNK(mode))
        return FileKind::symlink;
    return FileKind::other;
}

} // namespace

QString fileErrorDescription(const QString& path, int error)
{
    const QString name = lastPathComponentOfPath(path);
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("The file “%1” couldn’t be opened because there is no such file.").arg(name);
    case EACCES:
    case EPERM:
        return QStringLiteral(
                   "The file “%1” couldn’t be opened because you don’t have permission to view it.")
            .arg(name);
    default:
        return genericFileNotOpenedText(name);
    }
}

ProbeResult LinuxFileSystemProbe::status(const QString& path, bool followLinks) const
{
    if (path.isEmpty())
        return {std::nullopt, fileErrorDescription(path, ENOENT)};
    if (pathHoldsNul(path))
        return {std::nullopt, fileErrorDescription(path, EINVAL)};
    const QByteArray native = path.toUtf8();
    struct statx sx {};
    const int flags = AT_STATX_SYNC_AS_STAT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    const unsigned mask =
        STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_MNT_ID;
    if (::statx(AT_FDCWD, native.constData(), flags, mask, &sx) != 0)
        return {std::nullopt, fileErrorDescription(path, errno)};

    FileStatus status;
    status.kind = kindOf(sx.stx_mode);
    status.inode = sx.stx_ino;
    status.deviceMajor = sx.stx_dev_major;
    status.deviceMinor = sx.stx_dev_minor;
    status.size = static_cast<qint64>(sx.stx_size);
    status.modificationTime = timestamp(sx.stx_mtime);
    status.changeTime = timestamp(sx.stx_ctime);
    // A zero birth time is what some file systems report when they keep none.
    if ((sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0))
        status.birthTime = timestamp(sx.stx_btime);
    if (sx.stx_mask & STATX_MNT_ID)
        status.mountId = sx.stx_mnt_id;
    return {status, {}};
}

std::shared_ptr<LinuxFileSystemProbe> LinuxFileSystemProbe::shared()
{
    static const auto instance = std::make_shared<LinuxFileSystemProbe>();
    return instance;
}

} // namespace morvane
