#include "sync/RecordStoreSyncService.h"

#include "library/SQLiteStore.h"
#include "store/LinkStore.h"
#include "sync/RecordFormats.h"

#include <QCoroFuture>
#include <QPromise>

namespace morvane {

namespace {

QCoro::Task<void> pauseOn(std::shared_ptr<Clock> clock, std::chrono::milliseconds duration)
{
    auto elapsed = std::make_shared<QPromise<void>>();
    elapsed->start();
    std::unique_ptr<ClockTimer> timer = clock->makeTimer([elapsed] { elapsed->finish(); });
    timer->start(duration, false);
    co_await elapsed->future();
}

// The library steps of a pass, each one job on the store thread. The coroutines below bind every
// co_await result to a name before looping over it: with g++ 12, a range-for straight over a
// co_await that suspends destroyed the temporary twice and corrupted the heap.
QFuture<void> eraseLibrary(LinkStore& store)
{
    return store.run([](SQLiteStore& sqlite) { sqlite.eraseAll(); });
}

QFuture<void> applyDeletion(LinkStore& store, const DeletedRecord& deleted)
{
    return store.run([deleted](SQLiteStore& sqlite) { sqlite.applyRemoteDeletion(deleted); });
}

// Remote links and relations are applied a batch per store job: a job each spent a pass over a large
// library handing work between threads, while a batch still leaves a search its turn between jobs.
constexpr qsizetype applyBatch = 256;

// A batch commits once, each value of it still in a savepoint of its own: a value that fails is undone
// alone and the ones before it are kept, as if each had committed by itself (a commit each spent
// most of a pass that found nothing new).
template <class T, class Apply> void applyEach(SQLiteStore& sqlite, const QList<T>& values, Apply apply)
{
    std::exception_ptr failure;
    sqlite.inTransaction([&] {
        for (const T& value : values) {
            try {
                apply(sqlite, value);
            } catch (...) {
                failure = std::current_exception();
                return;
            }
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

QFuture<void> applyLinks(LinkStore& store, QList<LinkItem> links)
{
    return store.run([links = std::move(links)](SQLiteStore& sqlite) {
        applyEach(sqlite, links,
                  [](SQLiteStore& target, const LinkItem& link) { target.applyRemoteLink(link); });
    });
}

QFuture<void> applyRelations(LinkStore& store, QList<LinkRelation> relations)
{
    return store.run([relations = std::move(relations)](SQLiteStore& sqlite) {
        applyEach(sqlite, relations, [](SQLiteStore& target, const LinkRelation& relation) {
            target.applyRemoteRelation(relation);
        });
    });
}

QFuture<QList<DeletedRecord>> localTombstones(LinkStore& store)
{
    return store.run([](SQLiteStore& sqlite) { return sqlite.allDeletedRecords(); });
}

QFuture<QList<LinkRelation>> localRelations(LinkStore& store)
{
    return store.run([](SQLiteStore& sqlite) { return sqlite.allRelations(); });
}

} // namespace

RecordStoreSyncService::RecordStoreSyncService(std::shared_ptr<RecordStore> records,
                                               std::shared_ptr<UserDefaults> defaults,
                                               std::shared_ptr<Clock> clock, Pause pause)
    : m_remote(std::move(records))
    , m_defaults(std::move(defaults))
    , m_clock(std::move(clock))
    , m_pause(std::move(pause))
{
    if (!m_pause)
        m_pause = [clock = m_clock](std::chrono::milliseconds duration) { return pauseOn(clock, duration); };
}

QCoro::Task<SyncStatus> RecordStoreSyncService::accountStatus()
{
    const SyncStatus status = co_await m_remote.accountStatus();
    co_return status;
}

QCoro::Task<void> RecordStoreSyncService::requireReadyAccount()
{
    const SyncStatus status = co_await m_remote.accountStatus();
    if (status != SyncStatus::ready)
        throw SyncError::unavailable(status);
}

QCoro::Task<void> RecordStoreSyncService::sync(LinkStore& store)
{
    co_await requireReadyAccount();
    m_remote.takeSkipped(); // what an earlier pass or erase left out is not this pass's
    co_await applyLibraryReset(store);
    co_await pull(store);
    co_await push(store);
    // Records the store could not take or give were left out, and the rest done: the pass ends in an
    // error that names them (and says what it pulled, as a pass that completed does).
    if (QStringList skipped = m_remote.takeSkipped(); !skipped.isEmpty()) {
        store.notifyDidMutate(false);
        throw SkippedRecordsError(std::move(skipped));
    }
}

QCoro::Task<void> RecordStoreSyncService::applyLibraryReset(LinkStore& store)
{
    const std::optional<LibraryReset> reset = co_await m_remote.fetchLibraryReset();
    if (!reset || !LibraryReset::shouldApply(*reset, *m_defaults))
        co_return;
    co_await eraseLibrary(store);
    store.notifyDidMutate(false);
    LibraryReset::saveAcknowledged(*reset, *m_defaults);
}

QCoro::Task<void> RecordStoreSyncService::pull(LinkStore& store)
{
    const QList<DeletedRecord> tombstones = co_await m_remote.fetchDeletedRecords();
    for (const DeletedRecord& deleted : tombstones) {
        co_await applyDeletion(store, deleted);
        store.notifyDidMutate(false);
    }
    const QList<LinkItem> links = co_await m_remote.fetchLinks();
    for (qsizetype first = 0; first < links.size(); first += applyBatch)
        co_await applyLinks(store, links.mid(first, applyBatch));
    const QList<LinkRelation> relations = co_await m_remote.fetchRelations();
    for (qsizetype first = 0; first < relations.size(); first += applyBatch)
        co_await applyRelations(store, relations.mid(first, applyBatch));
}

QCoro::Task<void> RecordStoreSyncService::push(LinkStore& store)
{
    const QList<DeletedRecord> tombstones = co_await localTombstones(store);
    for (const DeletedRecord& deleted : tombstones) {
        co_await m_remote.saveDeletedRecord(deleted);
        co_await m_remote.deleteRecord(deleted.recordName);
    }
    const QList<LinkItem> links = co_await store.allLinks();
    co_await m_remote.saveLinks(links);
    const QList<LinkRelation> relations = co_await localRelations(store);
    co_await m_remote.saveRelations(relations);
}

QCoro::Task<LibraryReset> RecordStoreSyncService::eraseRemoteData()
{
    co_await requireReadyAccount();
    co_await deleteAllRemoteRecords();
    co_await waitForRemoteErase(eraseCheckAttempts, eraseCheckPause);
    const LibraryReset reset{QUuid::createUuid(), m_clock->now()};
    co_await m_remote.saveLibraryReset(reset);
    co_return reset;
}

QCoro::Task<void> RecordStoreSyncService::deleteAllRemoteRecords()
{
    const QList<LinkRelation> relations = co_await m_remote.fetchRelations();
    const QList<LinkItem> links = co_await m_remote.fetchLinks();
    co_await deleteLinksAndRelations(links, relations);
    const QList<DeletedRecord> tombstones = co_await m_remote.fetchDeletedRecords();
    for (const DeletedRecord& deleted : tombstones)
        co_await m_remote.deleteRecord(RecordFormats::tombstoneRecordName(deleted));
}

QCoro::Task<void> RecordStoreSyncService::deleteLinksAndRelations(QList<LinkItem> links,
                                                                  QList<LinkRelation> relations)
{
    for (const LinkRelation& relation : relations)
        co_await m_remote.deleteRecord(RecordFormats::relationRecordName(relation));
    for (const LinkItem& link : links)
        co_await m_remote.deleteRecord(RecordFormats::linkRecordName(link));
}

QCoro::Task<void> RecordStoreSyncService::waitForRemoteErase(int attempts, std::chrono::milliseconds pause)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        QList<LinkItem> links = co_await m_remote.fetchLinks();
        QList<LinkRelation> relations = co_await m_remote.fetchRelations();
        if (links.isEmpty() && relations.isEmpty())
            co_return;
        if (attempt < attempts - 1) {
            co_await m_pause(pause);
            continue;
        }
        // Another machine may have pushed its library while this one deleted: delete once more.
        co_await deleteLinksAndRelations(std::move(links), std::move(relations));
        links = co_await m_remote.fetchLinks();
        relations = co_await m_remote.fetchRelations();
        if (!links.isEmpty() || !relations.isEmpty())
            throw EraseRemoteDataError(links.size(), relations.size());
    }
}

} // namespace morvane
