#pragma once

#include "FileWorkPool.h"
#include "LibraryImporter.h"
#include "LinkStoreNotifier.h"
#include "OrderedLane.h"
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
#include <QPromise>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

namespace morvane {

class FileIdentityService;
struct NewLink;

// The one way into the library. One worker thread owns the database connection and runs every
// library call; file work (hashing, bookmark checks, the repair scan) runs on a file pool between
// an operation's database steps, so the store thread never waits for a file and a search is not
// held up by a large one. Operations take effect in submission order: one that does file work keeps
// later ones (reads through read() aside) waiting until it is done, so its writes, and what it read
// before them, are not interleaved with theirs. Results come back as futures (await them with QCoro
// on the main thread) and errors keep their type. Every change a user makes is announced through
// the notifier, after the sync trigger has run when the change asks for sync.
class LinkStore {
public:
    // Opens a library that dates its writes by the given clock.
    using DatabaseFactory = std::function<std::unique_ptr<SQLiteStore>(std::shared_ptr<const Clock>)>;
    using SyncTrigger = std::function<void()>;

    // Opens the database through the factory on the store thread and waits for it: the connection
    // never leaves that thread. Throws what opening threw (StoreError). Build it on the main thread.
    LinkStore(DatabaseFactory openDatabase, std::shared_ptr<const FileIdentityService> fileIdentityService,
              std::shared_ptr<const Clock> clock = SystemClock::shared());
    // Refuses new work, finishes the queued work (file work included), then closes the database.
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
        using R = std::invoke_result_t<F, SQLiteStore&>;
        return ordered<R>(false, [this, fn = std::move(fn)]() mutable {
            return m_executor.submit([this, fn]() mutable { return fn(database()); });
        });
    }

    // Runs a read, fn(SQLiteStore&), on the store thread without waiting for operations submitted
    // before it that are busy with a file (a capture hashing a large file): it may not see their
    // writes yet. For searches and other reads that must answer at once; never for a write.
    template <class F> auto read(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>
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

    // Admits an operation to the order of operations; start() queues its first step. An operation
    // that holds the order keeps later ones waiting until its future has finished.
    template <class R, class Start> QFuture<R> ordered(bool holds, Start start);

    // An operation with file work: prepare(SQLiteStore&) on the store thread gives either the answer
    // (variant alternative 0) or what the file work needs (alternative 1); examine(const Pending&)
    // runs on the file pool; settle(SQLiteStore&, const Pending&, const Found&) on the store thread
    // gives the answer. It holds the order throughout, so what prepare read is what settle writes over.
    template <class Prepare, class Examine, class Settle>
    auto withFileWork(Prepare prepare, Examine examine, Settle settle);

    // Parses on the store thread, makes the file evidence on the pool, saves and announces.
    QFuture<LinkItem> addNewLink(std::function<NewLink()> parse);

    std::unique_ptr<LinkStoreNotifier> m_notifier;
    const LinkParser m_parser{4096};
    std::shared_ptr<const FileIdentityService> m_identity;
    std::unique_ptr<SQLiteStore> m_sqlite; // store thread only
    SyncTrigger m_syncTrigger;             // store thread only
    OrderedLane m_lane;
    FileWorkPool m_filePool;
    StoreExecutor m_executor; // last: its thread starts once the rest exists
};

namespace detail {

// Passes a finished future's result or exception on to the promise.
template <class R> void forwardResult(QPromise<R>& promise, QFuture<R> done)
{
    try {
        done.waitForFinished(); // rethrows the work's exception
        if constexpr (!std::is_void_v<R>) {
            if (done.resultCount() == 0)
                throw ExecutorClosedError(); // dropped unrun
            promise.addResult(done.result());
        }
    } catch (...) {
        promise.setException(std::current_exception());
    }
    promise.finish();
}

template <class R> QFuture<R> readyFuture(R value)
{
    QPromise<R> promise;
    QFuture<R> future = promise.future();
    promise.start();
    promise.addResult(std::move(value));
    promise.finish();
    return future;
}

} // namespace detail

template <class R, class Start> QFuture<R> LinkStore::ordered(bool holds, Start start)
{
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> result = promise->future();
    promise->start();
    const bool admitted = m_lane.admit(
        [this, promise, holds, start = std::move(start)]() mutable {
            start().then(QtFuture::Launch::Sync, [this, promise, holds](QFuture<R> done) {
                detail::forwardResult(*promise, std::move(done));
                if (holds)
                    m_lane.release();
            });
        },
        holds);
    if (!admitted) {
        promise->setException(std::make_exception_ptr(ExecutorClosedError()));
        promise->finish();
    }
    return result;
}

template <class Prepare, class Examine, class Settle>
auto LinkStore::withFileWork(Prepare prepare, Examine examine, Settle settle)
{
    using Step = std::invoke_result_t<Prepare&, SQLiteStore&>;
    using Result = std::variant_alternative_t<0, Step>;
    using Pending = std::variant_alternative_t<1, Step>;
    using Found = std::invoke_result_t<Examine&, const Pending&>;
    return ordered<Result>(true, [this, prepare = std::move(prepare), examine = std::move(examine),
                                  settle = std::move(settle)]() mutable {
        return m_executor
            .submit([this, prepare = std::move(prepare)]() mutable { return prepare(database()); })
            .then(QtFuture::Launch::Sync,
                  [this, examine = std::move(examine),
                   settle = std::move(settle)](Step step) -> QFuture<Result> {
                      if (step.index() == 0)
                          return detail::readyFuture(std::get<0>(std::move(step)));
                      auto pending = std::make_shared<const Pending>(std::get<1>(std::move(step)));
                      return m_filePool.submit([examine, pending]() mutable { return examine(*pending); })
                          .then(QtFuture::Launch::Sync,
                                [this, settle, pending](Found found) {
                                    return m_executor.submit(
                                        [this, settle, pending, found = std::move(found)]() mutable {
                                            return settle(database(), *pending, found);
                                        });
                                })
                          .unwrap();
                  })
            .unwrap();
    });
}

} // namespace morvane
