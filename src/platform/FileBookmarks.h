#pragma once

#include "foundation/Clock.h"
#include "platform/FileStatus.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class FileSystemProbe;
class FolderWalker;
class VolumeCatalog;

// A bookmark made for a path, with what was observed of the file while making it.
struct BookmarkCreation {
    std::optional<QByteArray> data;
    FileStatus status;
    QString volumeIdentifier;
    QString errorDescription; // when there is no data
};

// Where a bookmark points now; stale when that is not where it was made, so it should be made again.
struct BookmarkResolution {
    std::optional<QString> path;
    bool stale = false;
    QString errorDescription; // when there is no path
};

// A bookmark read without any search for its file: where its file is found by the cheap steps
// alone, and the identity of the file it was made for.
struct BookmarkInspection {
    bool readable = false;
    std::optional<QString> path;    // nothing when the cheap steps do not find it
    QString fileResourceIdentifier; // as fileResourceIdentifierText gives it
    QString volumeIdentifier;
    QString errorDescription; // when the data is not a bookmark
};

// Makes bookmarks of files and folders and finds them again. Callable from any thread.
class FileBookmarks {
public:
    virtual ~FileBookmarks() = default;

    virtual BookmarkCreation create(const QString& path) const = 0;
    virtual BookmarkResolution resolve(const QByteArray& data) const = 0;
    // For callers asking only whether a bookmark refers to a file they already hold: no search by
    // identity, which may take a while for every bookmark whose file is gone.
    virtual BookmarkInspection inspect(const QByteArray& data) const = 0;
};

// How far a bookmark's file is looked for by identity once its path no longer leads to it.
struct BookmarkSearchBudget {
    int maxEntries = 20000;
    std::chrono::milliseconds maxTime{250};
};

// A bookmark remembers the path, the volume and where it is mounted, and the file's inode and birth
// time. Resolving tries, in order: the recorded path (when something of the same kind is there, even
// if an editor's save-by-rename gave it a new inode); the same place under the volume's current mount
// point; a search by identity in the recorded folder, then its parent's subtree, then the Trash,
// within the budget, never following links or leaving the volume.
class LinuxFileBookmarks : public FileBookmarks {
public:
    LinuxFileBookmarks(std::shared_ptr<const FileSystemProbe> probe,
                       std::shared_ptr<const VolumeCatalog> volumes,
                       std::shared_ptr<const FolderWalker> walker, BookmarkSearchBudget budget = {},
                       std::shared_ptr<const Clock> clock = SystemClock::shared());

    BookmarkCreation create(const QString& path) const override;
    BookmarkResolution resolve(const QByteArray& data) const override;
    BookmarkInspection inspect(const QByteArray& data) const override;

    static std::shared_ptr<LinuxFileBookmarks> shared();

private:
    struct Search;
    std::optional<BookmarkResolution> resolveWithoutSearch(const struct BookmarkRecord& record) const;
    std::optional<QString> searchByIdentity(const struct BookmarkRecord& record) const;

    std::shared_ptr<const FileSystemProbe> m_probe;
    std::shared_ptr<const VolumeCatalog> m_volumes;
    std::shared_ptr<const FolderWalker> m_walker;
    BookmarkSearchBudget m_budget;
    std::shared_ptr<const Clock> m_clock; // times the search against the budget
};

} // namespace morvane
