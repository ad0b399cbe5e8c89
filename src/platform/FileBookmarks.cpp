#include "FileBookmarks.h"

#include "foundation/LocatorUrl.h"
#include "platform/BookmarkRecord.h"
#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"
#include "platform/TrashFolders.h"
#include "platform/VolumeCatalog.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace morvane {

namespace {

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash <= 0)
        return QStringLiteral("/");
    return path.left(slash);
}

QString joined(const QString& folder, const QString& rest)
{
    if (rest.isEmpty() || rest == QLatin1String("/"))
        return folder;
    if (folder.endsWith(u'/'))
        return folder + (rest.startsWith(u'/') ? rest.mid(1) : rest);
    return folder + (rest.startsWith(u'/') ? rest : u'/' + rest);
}

// The part of path below folder ("" for the folder itself), or nothing when path is not below it.
std::optional<QString> below(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(u'/') ? std::optional(path) : std::nullopt;
    if (path == folder)
        return QString();
    if (path.startsWith(folder) && path.at(folder.size()) == u'/')
        return path.mid(folder.size());
    return std::nullopt;
}

QString undecodableText()
{
    return QStringLiteral("The bookmark data isn’t in the correct format.");
}

FileKind bookmarkKind(FileKind kind)
{
    return kind == FileKind::regular || kind == FileKind::directory ? kind : FileKind::other;
}

} // namespace

LinuxFileBookmarks::LinuxFileBookmarks(std::shared_ptr<const FileSystemProbe> probe,
                                       std::shared_ptr<const VolumeCatalog> volumes,
                                       std::shared_ptr<const FolderWalker> walker,
                                       BookmarkSearchBudget budget, std::shared_ptr<const Clock> clock)
    : m_probe(std::move(probe))
    , m_volumes(std::move(volumes))
    , m_walker(std::move(walker))
    , m_budget(budget)
    , m_clock(std::move(clock))
{
}

std::shared_ptr<LinuxFileBookmarks> LinuxFileBookmarks::shared()
{
    static const auto instance = std::make_shared<LinuxFileBookmarks>(
        LinuxFileSystemProbe::shared(), LinuxVolumeCatalog::shared(), LinuxFolderWalker::shared());
    return instance;
}

BookmarkCreation LinuxFileBookmarks::create(const QString& path) const
{
    BookmarkCreation creation;
    const ProbeResult probed = m_probe->status(path);
    if (!probed) {
        creation.errorDescription = probed.errorDescription;
        return creation;
    }
    creation.status = *probed.status;
    creation.volumeIdentifier = m_volumes->volumeIdentifier(path, creation.status);

    BookmarkRecord record;
    record.kind = bookmarkKind(creation.status.kind);
    record.path = path;
    record.inode = creation.status.inode;
    record.birthTime = creation.status.birthTime;
    record.volumeIdentifier = creation.volumeIdentifier;
    // The place within the file system comes from the real path, not from links along the way.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (const auto mount = m_volumes->mountOf(canonical, creation.status)) {
        record.mountPoint = mount->mountPoint;
        if (const auto rest = below(canonical, mount->mountPoint))
            record.relativePath = joined(mount->root, *rest);
    }
    creation.data = record.encoded();
    return creation;
}

// The recorded path, then the same place under the volume's current mount.
std::optional<BookmarkResolution> LinuxFileBookmarks::resolveWithoutSearch(const BookmarkRecord& record) const
{
    const auto sameKind = [&](const QString& path) {
        const ProbeResult probed = m_probe->status(path);
        return probed && bookmarkKind(probed.status->kind) == record.kind;
    };
    if (sameKind(record.path))
        return BookmarkResolution{record.path, false, {}};

    if (!record.relativePath.isEmpty()) {
        for (const MountEntry& mount : m_volumes->mountsOfVolume(record.volumeIdentifier)) {
            const auto rest = below(record.relativePath, mount.root);
            if (!rest)
                continue;
            const QString candidate = joined(mount.mountPoint, *rest);
            if (candidate != record.path && sameKind(candidate))
                return BookmarkResolution{candidate, true, {}};
        }
    }
    return std::nullopt;
}

BookmarkResolution LinuxFileBookmarks::resolve(const QByteArray& data) const
{
    const auto record = BookmarkRecord::decode(data);
    if (!record)
        return {std::nullopt, false, undecodableText()};

    if (auto resolved = resolveWithoutSearch(*record))
        return *resolved;

    if (const auto found = searchByIdentity(*record))
        return {*found, true, {}};

    return {std::nullopt, false,
            QStringLiteral("The file “%1” couldn’t be found: it is no longer at its path and no file with "
                           "its identity was found nearby.")
                .arg(lastPathComponentOfPath(record->path))};
}

BookmarkInspection LinuxFileBookmarks::inspect(const QByteArray& data) const
{
    const auto record = BookmarkRecord::decode(data);
    if (!record)
        return {false, std::nullopt, {}, {}, undecodableText()};
    FileStatus recorded;
    recorded.inode = record->inode;
    recorded.birthTime = record->birthTime;
    BookmarkInspection inspection{
        true, std::nullopt, fileResourceIdentifierText(recorded), record->volumeIdentifier, {}};
    if (const auto resolved = resolveWithoutSearch(*record))
        inspection.path = resolved->path;
    return inspection;
}

// One bounded search shared by every folder that is looked through.
struct LinuxFileBookmarks::Search {
    const LinuxFileBookmarks& owner;
    const BookmarkRecord& record;
    std::chrono::milliseconds deadline; // on the owner's monotonic clock
    int entriesLeft;
    std::optional<QString> found;

    bool exhausted() const { return entriesLeft <= 0 || owner.m_clock->monotonic() >= deadline; }

    bool matches(const FileStatus& status) const
    {
        return status.inode == record.inode && status.birthTime == record.birthTime &&
               bookmarkKind(status.kind) == record.kind;
    }

    // Looks through one folder; true once the file is found or the budget is spent.
    bool look(const QString& folder, int depth)
    {
        if (found || exhausted())
            return true;
        const ProbeResult root = owner.m_probe->status(folder);
        if (!root || !root.status->isDirectory() ||
            owner.m_volumes->volumeIdentifier(folder, *root.status) != record.volumeIdentifier)
            return false;
        WalkOptions options;
        options.skipHidden = false;
        options.maxDepth = depth;
        options.stayOnRootDevice = true;
        owner.m_walker->walk(folder, options, [&](const WalkEntry& entry) {
            if (--entriesLeft < 0 || ((entriesLeft & 63) == 0 && exhausted()))
                return WalkStep::stop;
            if (matches(entry.status)) {
                found = entry.path;
                return WalkStep::stop;
            }
            return WalkStep::proceed;
        });
        return found || exhausted();
    }
};

std::optional<QString> LinuxFileBookmarks::searchByIdentity(const BookmarkRecord& record) const
{
    Search search{*this, record, m_clock->monotonic() + m_budget.maxTime, m_budget.maxEntries, {}};

    // The recorded folder, also where the volume is mounted now.
    QStringList folders{parentOf(record.path)};
    const QList<MountEntry> mounts = m_volumes->mountsOfVolume(record.volumeIdentifier);
    for (const MountEntry& mount : mounts) {
        if (const auto rest = below(record.relativePath, mount.root)) {
            const QString folder = parentOf(joined(mount.mountPoint, *rest));
            if (!folders.contains(folder))
                folders.append(folder);
        }
    }
    for (const QString& folder : folders)
        if (search.look(folder, 1))
            return search.found;
    for (const QString& folder : folders)
        if (search.look(parentOf(folder), 3))
            return search.found;

    QStringList trashes{homeTrashFiles()};
    const QString uid = QString::number(::getuid());
    for (const MountEntry& mount : mounts)
        trashes.append(joined(mount.mountPoint, QStringLiteral(".Trash-%1/files").arg(uid)));
    for (const QString& trash : trashes)
        if (search.look(trash, 3))
            return search.found;
    return std::nullopt;
}

} // namespace morvane
