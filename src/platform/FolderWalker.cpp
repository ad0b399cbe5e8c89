#include "FolderWalker.h"

#include "platform/FileSystemProbe.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace morvane {

namespace {

std::optional<FileStatus> statusAt(int dirFd, const char* name)
{
    struct statx sx {};
    const unsigned mask =
        STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_MNT_ID;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, mask, &sx) != 0)
        return std::nullopt;
    FileStatus status;
    const mode_t mode = sx.stx_mode;
    status.kind = S_ISREG(mode)   ? FileKind::regular
                  : S_ISDIR(mode) ? FileKind::directory
                  : S_ISLNK(mode) ? FileKind::symlink
                                  : FileKind::other;
    status.inode = sx.stx_ino;
    status.deviceMajor = sx.stx_dev_major;
    status.deviceMinor = sx.stx_dev_minor;
    status.size = qint64(sx.stx_size);
    status.modificationTime = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    status.changeTime = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    if ((sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0))
        status.birthTime = FileTimestamp{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    if (sx.stx_mask & STATX_MNT_ID)
        status.mountId = sx.stx_mnt_id;
    return status;
}

class Walk {
public:
    Walk(const WalkOptions& options, const std::function<WalkStep(const WalkEntry&)>& visit)
        : m_options(options)
        , m_visit(visit)
    {
    }

    // Returns false when the visitor asked to stop.
    bool folder(int fd, const QString& path, int depth)
    {
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return true;
        }
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            if (m_options.skipHidden && name[0] == '.')
                continue;
            names.emplace_back(name);
        }
        std::sort(names.begin(), names.end());

        bool keepGoing = true;
        for (const std::string& name : names) {
            const auto status = statusAt(::dirfd(dir), name.c_str());
            if (!status)
                continue;
            WalkEntry entry;
            entry.name = QFile::decodeName(name.c_str());
            entry.path = path.endsWith(u'/') ? path + entry.name : path + u'/' + entry.name;
            entry.depth = depth;
            entry.status = *status;
            if (m_options.stayOnRootDevice && !status->sameDevice(m_rootStatus))
                continue;
            const WalkStep step = m_visit(entry);
            if (step == WalkStep::stop) {
                keepGoing = false;
                break;
            }
            if (step == WalkStep::skipChildren || !status->isDirectory())
                continue;
            if (m_options.maxDepth >= 0 && depth >= m_options.maxDepth)
                continue;
            const int child =
                ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0)
                continue; // unreadable folders are passed over
            if (!folder(child, entry.path, depth + 1)) {
                keepGoing = false;
                break;
            }
        }
        ::closedir(dir);
        return keepGoing;
    }

    FileStatus m_rootStatus;

private:
    const WalkOptions& m_options;
    const std::function<WalkStep(const WalkEntry&)>& m_visit;
};

} // namespace

bool LinuxFolderWalker::walk(const QString& root, const WalkOptions& options,
                             const std::function<WalkStep(const WalkEntry&)>& visit) const
{
    if (pathHoldsNul(root))
        return false;
    const int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Walk walk(options, visit);
    if (options.stayOnRootDevice) {
        const auto rootStatus = statusAt(fd, ".");
        if (!rootStatus) {
            ::close(fd);
            return false;
        }
        walk.m_rootStatus = *rootStatus;
    }
    walk.folder(fd, root, 1);
    return true;
}

std::shared_ptr<LinuxFolderWalker> LinuxFolderWalker::shared()
{
    static const auto instance = std::make_shared<LinuxFolderWalker>();
    return instance;
}

} // namespace morvane
