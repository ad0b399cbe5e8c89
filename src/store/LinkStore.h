#pragma once

#include "FileWorkPool.h"
#include "LibraryImporter.h"
#include "LinkStoreNotifier.h"
#include "OrderedLane.h"
#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "foundation/Clock.h"
#include "foundation/StoreExecutor.h"
#include "library/LinkParser.h"
#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace morvane {

class FileIdentityService;
class SQLiteStore;
struct NewLink;

namespace detail {
template <class R> class Settlement;
} // namespace detail

// The library as the graph draws it: every link and every relation.
struct LibraryRows {
    QList<LinkItem> links;
    QList<LinkRelation> relations;
};

struct LibraryCounts {
    qsizetype links = 0;
    qsizetype relations = 0;
};

// The one way into the library. One worker thread owns the database connection and runs every
// library call; file work (hashing, bookmark checks, the repair scan) runs on a file pool between
// an operation's database steps, so the store thread never waits for a file and a search is not
// held up by a large one. Operations take effect in submission order: one that does file work keeps
// later ones (the reads that answer at once aside) waiting until it is done, so its writes, and what
// it read before them, are not interleaved with theirs. Results come back as futures (await them
// with QCoro on the main thread) and errors keep their type. Every change a user makes is announced
// through the notifier, after the sync trigger has run when the change asks for sync.
class LinkStore {
public:
    // Which library file to open: the given one, or Morvane.sqlite in the data folder.
    struct LibraryLocation {
        std::optional<QString> path;
    };
    using SyncTrigger = std::function<void()>;

    // Whether the constructor waits for the library to open, or leaves that to waitUntilOpen() so that
    // the caller's own start goes on meanwhile.
    enum class Opening { waited, inBackground };

    // Opens the library on the store thread and waits for it: the connection never leaves that
    // thread. Its writes are dated by the clock; its file work runs on the pool (one of its own when
    // none is given). Throws what opening threw (StoreError). Build it on the main thread (before the
    // application object is fine).
    LinkStore(LibraryLocation library, std::shared_ptr<const FileIdentityService> fileIdentityService,
              std::shared_ptr<const Clock> clock = SystemClock::shared(),
              std::shared_ptr<FileWorkPool> filePool = nullptr, Opening opening = Opening::waited);
    // Waits for the library to open, and throws what opening threw; at once after a waited opening.
    // An opening in the background is waited for before any operation.
    void waitUntilOpen();
    // Refuses new work, finishes the queued work (file work included), then closes the database.
    ~LinkStore();
    LinkStore(const LinkStore&) = delete;
    LinkStore& operator=(const LinkStore&) = delete;

    // The library at path, or Morvane.sqlite in the data folder.
    static LibraryLocation libraryAt(std::optional<QString> path = std::nullopt);
    // Where the library is when no path is given.
    static QString defaultLibraryPath();

    // --- The library's items and relations -------------------------------------------------------
    // Reads that answer at once, even while an operation submitted before them is busy with a file
    // (a capture hashing a large one): they may not see its writes yet.
    QFuture<QList<LinkItem>> searchLinks(QString query);
    // Completes the search index of a library opened before it had one, then warms what the first search
    // would read, and makes the copy of the texts for short searches when none is usable. Asked for once
    // the application has started: on two cores these steps slowed the start itself. Never waited for.
    void prepareSearch();
    // Makes the first search of one or two characters as quick as the others, reading what it needs in
    // steps that let searches typed meanwhile through: asked for when the panel is about to show (what
    // it reads takes memory a start does without). Never waited for.
    void prepareShortSearch();
    // Gives back what prepareShortSearch() read and the pages searches left cached, once no search is
    // coming (the panel hid).
    void releaseSearchMemory();
    // This machine's evidence of the item's file, as the opener wants it.
    QFuture<std::optional<FileIdentity>> localResolution(QUuid id);

    QFuture<std::optional<LinkItem>> link(QUuid id);
    QFuture<LibraryRows> linksAndRelations();
    QFuture<LibraryCounts> counts();

    // Changes that announce nothing themselves: their callers call notifyDidMutate.
    QFuture<void> deleteLink(QUuid id);
    // Between two items, either way round.
    QFuture<void> addRelation(QUuid from, QUuid to);
    // Leaves the removal on record for sync even when the two were not related here.
    QFuture<void> removeRelation(QUuid from, QUuid to);
    // Removes the relation only when the two are related, in the step that checks; answers whether
    // they were.
    QFuture<bool> removeRelationIfRelated(QUuid from, QUuid to);
    // Every link, relation, deletion record and this machine's file evidence.
    QFuture<void> eraseAll();

    // --- Bookkeeping of an open ------------------------------------------------------------------
    // After an item was opened: lays the file evidence the opener observed (when it did) over this
    // machine's resolution of the link, confirmed when there was one before, and stamps the time of
    // the open. The item is open whatever the library says (a full disk): a step that fails is logged,
    // not reported, so this fails only when the store is closing. Not announced.
    QFuture<void> recordOpened(QUuid id, std::optional<FileIdentity> observed, bool confirmed);

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
    // Writes the library to the file atomically, dated exportedAt; answers how many relations it
    // left out because an end is missing. Throws morvane::Error when the file cannot be written.
    QFuture<qsizetype> exportLibrary(QString filePath, QDateTime exportedAt);

    // The lookups for what the user has in front of them are ContextLookups'.

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

private:
    // The store's own operations (ContextLookups' among them) and the tests that seed a library reach
    // the connection through LinkStoreDatabase (LinkStoreDetail.h).
    friend class LinkStoreDatabase;

    // Runs fn(SQLiteStore&) on the store thread after everything submitted before it. Thin
    // operations announce nothing themselves.
    template <class F> auto run(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>;
    // Runs a read, fn(SQLiteStore&), on the store thread without waiting for operations submitted
    // before it that are busy with a file: it may not see their writes yet. Never for a write.
    template <class F> auto read(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>;

    // The connection; only ever touched on the store thread.
    SQLiteStore& database();
    void postNotification(bool triggerSync);

    // Admits an operation to the order of operations; start(Settlement<R>) queues its first step, and
    // its last step settles it. An operation that holds the order keeps later ones waiting until it
    // has been settled.
    template <class R, class Start> QFuture<R> ordered(bool holds, Start start);
    // Queues job on the store thread; when the store is closing, the operation fails instead.
    template <class R, class Job> void onStoreThread(const detail::Settlement<R>& done, Job job);

    // An operation with file work: prepare(SQLiteStore&) on the store thread gives either the answer
    // (variant alternative 0) or what the file work needs (alternative 1); examine(const Pending&)
    // runs on the file pool; settle(SQLiteStore&, const Pending&, const Found&) on the store thread
    // gives the answer, or (returning prepare's kind of step) more file work for examine and settle
    // to take in turn. It holds the order throughout, so what prepare read is what settle writes over.
    template <class Prepare, class Examine, class Settle>
    auto withFileWork(Prepare prepare, Examine examine, Settle settle);
    // On the store thread: settles the operation with the step's answer, or takes its file work to
    // the pool and the findings back to settle.
    template <class Step, class Examine, class Settle, class Result>
    void takeFileStep(Step step, Examine examine, Settle settle, detail::Settlement<Result> done);

    // Parses on the store thread, makes the file evidence on the pool, saves and announces.
    QFuture<LinkItem> addNewLink(std::function<NewLink()> parse);
    void inSteps(std::function<bool(SQLiteStore&)> step, const char* failure);

    std::unique_ptr<LinkStoreNotifier> m_notifier;
    const LinkParser m_parser{4096};
    std::shared_ptr<const FileIdentityService> m_identity;
    std::unique_ptr<SQLiteStore> m_sqlite; // store thread only
    SyncTrigger m_syncTrigger;             // store thread only
    OrderedLane m_lane;
    std::shared_ptr<FileWorkPool> m_filePool;
    QFuture<bool> m_opened;
    StoreExecutor m_executor; // last: its thread starts once the rest exists
};

} // namespace morvane
