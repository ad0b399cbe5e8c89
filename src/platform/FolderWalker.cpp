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

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

std::optional<FolderId> folderIdOf(int fd)
{
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return std::nullopt;
    return FolderId{st.st_dev, st.st_ino};
}

// Opens what candidate names when it is still the folder with that id; -1 otherwise.
int openIfSame(int atFd, const char* candidate, FolderId id)
{
    const int fd = ::openat(atFd, candidate, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && folderIdOf(fd) != id) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Item {
    std::string name;
    FileStatus status;
};

// A folder's entries in name order, with their status, read through a handle that stays open.
std::vector<Item> readFolder(int fd, bool skipHidden)
{
    std::vector<Item> items;
    const int listFd = ::dup(fd); // closedir closes the handle it was given
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return items;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (skipHidden && name[0] == '.')
            continue;
        names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (std::string& name : names)
        if (const auto status = statusAt(fd, name.c_str()))
            items.push_back({std::move(name), *status});
    return items;
}

// Holds one folder open at a time, however deep the tree: a folder's handle is closed while its
// subfolders are walked and opened again through the last one's "..", checked to be the same folder
// (or through its path when that fails).
class Walk {
public:
    Walk(const WalkOptions& options, const std::function<WalkStep(const WalkEntry&)>& visit)
        : m_options(options)
        , m_visit(visit)
    {
    }

    // fd is open on entry and, unless the folder could not be opened again, on return (-1 then).
    // Returns false when the visitor asked to stop.
    bool folder(int& fd, FolderId self, const QString& path, int depth)
    {
        for (const Item& item : readFolder(fd, m_options.skipHidden)) {
            if (m_options.stayOnRootDevice && !item.status.sameDevice(m_rootStatus))
                continue;
            WalkEntry entry;
            entry.name = QFile::decodeName(item.name.c_str());
            entry.path = path.endsWith(u'/') ? path + entry.name : path + u'/' + entry.name;
            entry.depth = depth;
            entry.status = item.status;
            const WalkStep step = m_visit(entry);
            if (step == WalkStep::stop)
                return false;
            if (step == WalkStep::skipChildren || !item.status.isDirectory())
                continue;
            if (m_options.maxDepth >= 0 && depth >= m_options.maxDepth)
                continue;
            int child = ::openat(fd, item.name.c_str(), folderFlags);
            const auto childId = folderIdOf(child);
            if (!childId) {
                if (child >= 0)
                    ::close(child);
                continue; // unreadable folders are passed over
            }
            ::close(fd);
            const bool keepGoing = folder(child, *childId, entry.path, depth + 1);
            fd = child >= 0 ? openIfSame(child, "..", self) : -1;
            if (child >= 0)
                ::close(child);
            if (fd < 0)
                fd = openIfSame(AT_FDCWD, QFile::encodeName(path).constData(), self);
            if (!keepGoing)
                return false;
            if (fd < 0)
                return true; // moved away meanwhile: the rest of it is passed over
        }
        return true;
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
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto rootId = folderIdOf(fd);
    if (!rootId) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    Walk walk(options, visit);
    if (options.stayOnRootDevice) {
        const auto rootStatus = statusAt(fd, ".");
        if (!rootStatus) {
            ::close(fd);
            return false;
        }
        walk.m_rootStatus = *rootStatus;
    }
    walk.folder(fd, *rootId, root, 1);
    if (fd >= 0)
        ::close(fd);
    return true;
}

std::shared_ptr<LinuxFolderWalker> LinuxFolderWalker::shared()
{
    static const auto instance = std::make_shared<LinuxFolderWalker>();
    return instance;
}

} // namespace morvane
