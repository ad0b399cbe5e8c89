#pragma once

#include "LibraryImporter.h"
#include "LinkStoreNotifier.h"
#include "files/FileMatchCandidate.h"
#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "foundation/Clock.h"
#include "foundation/StoreExecutor.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace morvane {

class FileIdentityService;

// The one way into the library. One worker thread owns the database connection and runs every
// library and file-identity call, one at a time in submission order; results come back as futures
// (await them with QCoro on the main thread) and errors keep their type. Every change a user makes
// is announced through the notifier, after the sync trigger has run when the change asks for sync.
class LinkStore {
public:
    // Opens a library that dates its writes by the given clock.
    using DatabaseFactory = std::function<std::unique_ptr<SQLiteStore>(std::shared_ptr<const Clock>)>;
    using SyncTrigger = std::function<void()>;

    // Opens the database through the factory on the store thread and waits for it: the connection
    // never leaves that thread. Throws what opening threw (StoreError). Build it on the main thread.
    LinkStore(DatabaseFactory openDatabase, std::shared_ptr<const FileIdentityService> fileIdentityService,
              std::shared_ptr<const Clock> clock = SystemClock::shared());
    // Refuses new work, finishes the queued work, then closes the database.
    ~LinkStore();
    LinkStore(const LinkStore&) = delete;
    LinkStore& operator=(const LinkStore&) = delete;

    // The library at path, or Morvane.sqlite in the data folder.
    static DatabaseFactory libraryAt(std::optional<QString> path = std::nullopt);

    // Runs fn(SQLiteStore&) on the store thread after everything submitted before it. Thin
    // operations announce nothing themselves: their callers call notifyDidMutate when they change
    // something.
    template <class F> auto run(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>
    {
        return m_executor.submit([this, fn = std::move(fn)]() mutable { return fn(database()); });
    }

    // --- Maintenance ----------------------------------------------------------------------------
    QFuture<QList<LinkItem>> allLinks();
    QFuture<QList<FileRepairIssue>> fileRepairIssues(QStringList knownRoots);
    // Throws FileRepairError when the chosen file cannot be identified. Announced, with sync.
    QFuture<LinkItem> repairFileLink(LinkItem item, FileResolutionCandidate candidate);

    // --- Backups --------------------------------------------------------------------------------
    // The counts of a backup file; writes nothing.
    QFuture<MorvaneLibraryImportPreview> importPreview(QString filePath);
    // Merges the backup into the library or replaces the library with it. Announced, with sync.
    QFuture<LibraryImporter::ImportCounts> importLibrary(QString filePath, bool replacing);

    // --- Lookups for what the user has in front of them ------------------------------------------
    QFuture<std::optional<LinkItem>> findLink(CapturedContext context);
    QFuture<std::optional<LinkItem>> linkForLocator(CapturedContext context);
    QFuture<QList<FileMatchCandidate>> fileMatchCandidates(CapturedContext context);
    // Records this machine's copy; not announced (it belongs to this machine only).
    QFuture<LinkItem> useFileMatch(FileMatchCandidate candidate);
    QFuture<std::optional<QString>> finderSelectionMatches(CapturedContext context);
    QFuture<LinkItem> updateFileIdentity(LinkItem item, FileIdentity captured);
    QFuture<std::optional<LinkItem>> linkResolvingBookmark(FileIdentity captured);

    // --- New links (announced, with sync) --------------------------------------------------------
    QFuture<LinkItem> addLink(QString title, QString text, QString notes, QString tagsText);
    QFuture<LinkItem> addCapturedContext(CapturedContext context, QString notes, QString tagsText);

    // --- Change announcement ---------------------------------------------------------------------
    // Callable from any thread. The trigger is read on the store thread (after the work submitted
    // before this call); then on the main thread it runs (when asked for and installed) and
    // didMutate() is emitted.
    void notifyDidMutate(bool triggerSync);
    // Installed through the store thread: changes queued before it run without it.
    QFuture<void> setSyncTrigger(SyncTrigger trigger);
    LinkStoreNotifier& notifier() const { return *m_notifier; }

    const LinkParser& parser() const { return m_parser; }
    const std::shared_ptr<const FileIdentityService>& fileIdentityService() const { return m_identity; }
    bool isStoreThread() const { return m_executor.isCurrentThread(); }

private:
    // The connection; only ever touched on the store thread.
    SQLiteStore& database();
    void postNotification(bool triggerSync);

    std::unique_ptr<LinkStoreNotifier> m_notifier;
    const LinkParser m_parser{4096};
    std::shared_ptr<const FileIdentityService> m_identity;
    std::unique_ptr<SQLiteStore> m_sqlite; // store thread only
    SyncTrigger m_syncTrigger;             // store thread only
    StoreExecutor m_executor;              // last: its thread starts once the rest exists
};

} // namespace morvane
