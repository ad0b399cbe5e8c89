#include "sync/RecordStoreSyncService.h"

#include "foundation/FreedMemory.h"
#include "store/LinkStore.h"
#include "store/SyncedLibrary.h"
#include "sync/SyncCheckpoint.h"
#include "sync/SyncPull.h"
#include "sync/SyncPush.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>
#include <QPromise>

#include <algorithm>

namespace morvane {

namespace {

// A pass from a point reads in full, at once, every link the library changed since; a whole pass holds
// their summaries and reads a part at a time. Past this many changes the pass is whole: the pass after a
// joining machine's first one would otherwise read every link that pass took in (about 6 KB each). The
// journal lists no more than that: past it, it answers that everything changed, holding none of the keys,
// and the point is not trusted (SyncCheckpoint::trusts).
constexpr qsizetype mostChangesFromAPoint = 4096;

QCoro::Task<void> pauseOn(std::shared_ptr<Clock> clock, std::chrono::milliseconds duration)
{
    auto elapsed = std::make_shared<QPromise<void>>();
    elapsed->start();
    std::unique_ptr<ClockTimer> timer = clock->makeTimer([elapsed] { elapsed->finish(); });
    timer->start(duration, false);
    co_await elapsed->future();
}

RemoteErase::Pause pauseOrClock(RemoteErase::Pause pause, const std::shared_ptr<Clock>& clock)
{
    if (pause)
        return pause;
    return [clock](std::chrono::milliseconds duration) { return pauseOn(clock, duration); };
}

} // namespace

RecordStoreSyncService::RecordStoreSyncService(std::shared_ptr<RecordStore> records,
                                               std::shared_ptr<UserDefaults> defaults,
                                               std::shared_ptr<Clock> clock, Pause pause, qsizetype perPart)
    : m_remote(std::move(records))
    , m_perPart(std::max<qsizetype>(perPart, 1))
    , m_defaults(std::move(defaults))
    , m_clock(std::move(clock))
    , m_reset(m_remote, m_defaults)
    , m_erase(m_remote, pauseOrClock(std::move(pause), m_clock))
{
}

RecordStoreSyncService::~RecordStoreSyncService() = default;

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

QCoro::Task<RecordStoreSyncService::Fingerprint> RecordStoreSyncService::fingerprint(LinkStore& store)
{
    const std::optional<QByteArray> records = co_await m_remote.changeToken();
    const std::pair<qint64, qint64> library = co_await SyncedLibrary(store).changeStamp();
    co_return Fingerprint{library, records};
}

QCoro::Task<void> RecordStoreSyncService::sync(LinkStore& store)
{
    if (m_remote.tracksChanges()) {
        co_await trackedPass(store); // which asks for the account in its first request
        co_return;
    }
    co_await requireReadyAccount();
    const Fingerprint before = co_await fingerprint(store);
    if (m_settled && before.records && before == *m_settled)
        co_return;
    m_settled.reset();
    m_remote.takeSkipped(); // what an earlier pass or erase left out is not this pass's
    co_await fullPass(store);
    const QStringList skipped = m_remote.takeSkipped();
    // Only a pass that found everything as it left it proves there is nothing left to do: one that
    // applied or pushed something runs again in full the next time, and so does one that left records
    // out, so that each pass names them until they are mended.
    const Fingerprint after = co_await fingerprint(store);
    if (skipped.isEmpty() && after.records && after == before)
        m_settled = after;
    // Records the store could not take or give were left out, and the rest done: the pass ends in an
    // error that names them (and says what it pulled, as a pass that completed does).
    if (!skipped.isEmpty()) {
        store.notifyDidMutate(false);
        throw SkippedRecordsError(skipped);
    }
}

QCoro::Task<void> RecordStoreSyncService::fullPass(LinkStore& store)
{
    const std::optional<LibraryReset> reset = co_await m_remote.fetchLibraryReset();
    co_await m_reset.apply(store, reset);
    const int perPage = int(std::min<qsizetype>(m_perPart, RecordStore::maximumResults));
    SyncRemoteState remote = co_await SyncRemoteState::fetch(m_remote, perPage);
    const std::shared_ptr<const SyncScope> everything;
    const bool pushed = co_await exchange(store, remote, everything, reset);
    if (pushed)
        LibraryReset::setCompletedPass(*m_defaults, true);
}

QCoro::Task<bool> RecordStoreSyncService::exchange(LinkStore& store, SyncRemoteState& remote,
                                                   std::shared_ptr<const SyncScope> scope,
                                                   std::optional<LibraryReset> reset,
                                                   QCoro::Task<PulledLibrary>* sideAhead)
{
    std::optional<PulledLibrary> ahead;
    if (sideAhead && !scope)
        ahead = co_await *sideAhead;
    PulledLibrary* const readAhead = ahead ? &*ahead : nullptr;
    std::optional<PulledLibrary> pulled =
        co_await pullRecords(store, m_remote, remote, scope, m_perPart, readAhead);
    ahead.reset();
    // Another machine may have erased everything while this pass pulled: pushing now would bring this
    // library back into the emptied store.
    const std::optional<LibraryReset> resetNow = co_await m_remote.fetchLibraryReset();
    if (resetNow != reset) {
        co_await m_reset.apply(store, resetNow);
        co_return false;
    }
    // What the pull read still holds when nothing wrote to the library since.
    std::optional<LibrarySide> local;
    if (pulled) {
        const std::pair<qint64, qint64> stampNow = co_await SyncedLibrary(store).changeStamp();
        if (stampNow == pulled->stamp)
            local = std::move(pulled->local);
        pulled.reset();
    }
    co_await pushRecords(store, m_remote, remote, scope, std::move(local));
    co_return true;
}

QCoro::Task<std::unique_ptr<SyncCheckpoint>>
RecordStoreSyncService::storedCheckpoint(LinkStore& store, std::shared_ptr<RecordVersions>& versions)
{
    // Read into their compact forms on the store's thread as the rows come, and handed over whole.
    auto loader = std::make_shared<SyncCheckpoint::Loader>();
    SyncedLibrary::RecordReader reader = [loader](QByteArrayView name, QByteArrayView version,
                                                  QByteArrayView kept) { loader->add(name, version, kept); };
    QFuture<std::optional<LibrarySyncPoint::Point>> reading =
        SyncedLibrary(store).storedPoint(std::move(reader));
    const std::optional<LibrarySyncPoint::Point> stored = co_await reading;
    if (!stored)
        co_return std::unique_ptr<SyncCheckpoint>();
    m_storedPoint = *stored;
    std::unique_ptr<SyncCheckpoint> point = loader->finish(*stored);
    if (point)
        versions = std::make_shared<RecordVersions>(std::move(loader->versions()));
    co_return point;
}

QCoro::Task<void> RecordStoreSyncService::trackedPass(LinkStore& store)
{
    std::exception_ptr failure;
    PassOutcome outcome;
    try {
        outcome = co_await changedPass(store);
    } catch (...) {
        failure = std::current_exception();
    }
    // What the pass read and decided with is given back to the system, not kept for the next pass: a
    // tray application holds what the next step needs. Giving back walks the whole heap, so a pass that
    // found nothing to read or decide leaves it as it is.
    if (m_kept)
        m_kept->records.settle();
    if (outcome.worked)
        releaseFreedMemory();
    // An account that cannot be used ends the pass before it asked anything else: what it started from
    // still holds.
    if (!failure && outcome.account != SyncStatus::ready)
        throw SyncError::unavailable(outcome.account);
    if (!failure)
        co_return;
    // The library's point is of a pass before this one, which may have changed either side since:
    // the next start looks at everything.
    m_kept.reset();
    if (m_storedPoint) {
        m_storedPoint.reset();
        try {
            co_await SyncedLibrary(store).forgetPoint();
        } catch (...) {
            // The pass's own error is the one to report.
        }
    }
    std::rethrow_exception(failure);
}

QCoro::Task<RecordStoreSyncService::PassOutcome> RecordStoreSyncService::changedPass(LinkStore& store)
{
    std::unique_ptr<SyncCheckpoint> kept = std::move(m_kept);
    // The first pass of a run starts from where the library says the last completed pass left off.
    std::shared_ptr<RecordVersions> storedVersions;
    if (!kept && !m_lookedForStoredPoint) {
        // Not read while the account cannot be used: a pass then ends at once, and so would the next.
        co_await requireReadyAccount();
        m_lookedForStoredPoint = true;
        kept = co_await storedCheckpoint(store, storedVersions);
    }
    m_remote.takeSkipped(); // what an earlier pass or erase left out is not this pass's

    // Every awaited call's arguments are named locals: g++ 12 destroys temporaries made inside a co_await
    // expression twice.
    // The library's journal is read on the store's thread while the record store answers on its own.
    const std::optional<qint64> journalSince = kept ? std::optional(kept->journalThrough) : std::nullopt;
    QFuture<LibraryChangeJournal::Changes> journalRead =
        SyncedLibrary(store).changesSince(journalSince, mostChangesFromAPoint);
    std::optional<LibraryChangeJournal::Changes> journal;
    if (kept && kept->stored) {
        // After a start the journal decides whether the library's point holds at all: one that does not
        // is not asked the record store's changes from.
        journal = co_await journalRead;
        if (!kept->trusts(*journal))
            kept.reset();
    }
    // A pass from no point reads every row of the library: the store's thread reads them while the record
    // store lists its records, and the pull takes what it read when nothing wrote to the library since.
    std::optional<QCoro::Task<PulledLibrary>> sideAhead;
    if (!kept)
        sideAhead.emplace(readLibraryAhead(store));
    std::exception_ptr failure;
    PassOutcome outcome;
    try {
        QCoro::Task<PulledLibrary>* const ahead = sideAhead ? &*sideAhead : nullptr;
        outcome = co_await listedPass(store, kept, storedVersions, journalRead, journal, ahead);
    } catch (...) {
        failure = std::current_exception();
    }
    // What reads ahead uses the store: it never runs on past the pass.
    if (sideAhead && !sideAhead->isReady()) {
        try {
            co_await *sideAhead;
        } catch (...) {
            // The pass's own outcome is the one to report.
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    co_return outcome;
}

QCoro::Task<RecordStoreSyncService::PassOutcome> RecordStoreSyncService::listedPass(
    LinkStore& store, std::unique_ptr<SyncCheckpoint>& kept, std::shared_ptr<RecordVersions>& storedVersions,
    QFuture<LibraryChangeJournal::Changes>& journalRead,
    std::optional<LibraryChangeJournal::Changes>& journal, QCoro::Task<PulledLibrary>* sideAhead)
{
    // The store's records are taken in as they are read (see SyncCheckpoint::Listing).
    auto listing = std::make_shared<SyncCheckpoint::Listing>();
    RemoteRecords::ChangesAsked asked;
    asked.sink = listing;
    if (kept && kept->stored && storedVersions) {
        asked.place = kept->place;
        asked.versions = storedVersions;
    } else if (kept) {
        asked.since = kept->recordsSince;
    }
    RemoteRecords::Opening opening = co_await m_remote.openPass(asked);
    // A complete listing read and decoded every record file on threads of their own: what that freed
    // goes back to the system before the pull and the push hold what they decide with.
    if (opening.changes.complete)
        releaseFreedMemory();
    if (!journal)
        journal = co_await journalRead;
    if (opening.account != SyncStatus::ready) {
        // The next pass starts from the same point: this run's, or the library's read again.
        if (kept && kept->stored)
            m_lookedForStoredPoint = false;
        else
            m_kept = std::move(kept);
        co_return PassOutcome{false, opening.account};
    }
    const std::optional<LibraryReset> reset = opening.reset;
    RecordStore::Changes changes = std::move(opening.changes);
    const QByteArray everyRecord;
    if (m_reset.isDue(reset)) {
        // Applying the marker rewrites the library: both sides are read again from no point.
        kept.reset();
        co_await m_reset.apply(store, reset);
        const std::optional<qint64> fromStart;
        journal = co_await SyncedLibrary(store).changesSince(fromStart);
        listing = std::make_shared<SyncCheckpoint::Listing>();
        changes = co_await m_remote.changesSince(everyRecord, listing);
    } else if (kept && !kept->trusts(*journal)) {
        kept.reset();
        listing = std::make_shared<SyncCheckpoint::Listing>();
        changes = co_await m_remote.changesSince(everyRecord, listing);
    }
    // Reading what the library kept is work of its own to give back.
    const bool readStoredPoint = storedVersions && !storedVersions->isEmpty();
    storedVersions.reset();
    const bool everything = changes.complete || !kept;
    if (changes.complete)
        kept.reset();

    // With a point to start from, the pass decides about what changed since; without, about everything.
    const std::shared_ptr<SyncScope> scope = kept ? std::make_shared<SyncScope>() : nullptr;
    SyncCheckpoint::Read read;
    std::unique_ptr<SyncCheckpoint> next =
        SyncCheckpoint::after(std::move(kept), *journal, changes, std::move(*listing), scope.get(), read);
    listing.reset();
    const bool worked =
        readStoredPoint || !scope || !scope->isEmpty() || !read.changed.isEmpty() || !read.removed.isEmpty();
    if (!scope || !scope->isEmpty()) {
        // A pass after a change decides about its scope alone, so only the records that scope reads make
        // its remote side.
        if (scope)
            scope->close(next->records);
        // A whole pass's remote side is every record the next point keeps, read where it keeps them (the
        // pass's changes taken in first), in the order of their names as a listing gives them.
        SyncRemoteState remote;
        if (scope) {
            remote = SyncRemoteState::of(next->records, scope->recordsIn(next->records), read.records);
        } else {
            next->records.settle();
            remote = SyncRemoteState::over(next->records, read.records);
        }
        read.records.clear();
        const std::shared_ptr<const SyncScope> scoped = scope;
        const bool pushed = co_await exchange(store, remote, scoped, reset, sideAhead);
        if (!pushed)
            co_return PassOutcome{};
    }
    read.records.clear();
    LibraryReset::setCompletedPass(*m_defaults, true);
    const QStringList skipped = m_remote.takeSkipped();
    if (!skipped.isEmpty()) {
        store.notifyDidMutate(false);
        throw SkippedRecordsError(skipped);
    }
    co_await keepPoint(store, *next, read, everything);
    m_kept = std::move(next);
    co_return PassOutcome{worked};
}

QCoro::Task<void> RecordStoreSyncService::keepPoint(LinkStore& store, const SyncCheckpoint& point,
                                                    SyncCheckpoint::Read& read, bool everything)
{
    // A store that cannot say where its records are gives nothing to start from after a restart.
    if (point.place.isEmpty())
        co_return;
    const LibrarySyncPoint::Point at = point.point();
    const bool moved = !m_storedPoint || m_storedPoint->place != at.place ||
                       m_storedPoint->journalThrough != at.journalThrough ||
                       m_storedPoint->schemaVersion != at.schemaVersion;
    if (!everything && !moved && read.changed.isEmpty() && read.removed.isEmpty())
        co_return; // a pass that found nothing writes nothing
    // Handed to the store's thread whole, and let go there once kept.
    // What a record keeps is made again from the point where it was not held beside it (the point
    // outlives the job: it is this pass's until the job ended).
    auto held = std::make_shared<ChangedRecords>(std::move(read.changed));
    const KeptRecords* records = &point.records;
    LibrarySyncPoint::RecordWalk changed = [held, records](const LibrarySyncPoint::RecordTaker& take) {
        held->forEach(take, [records](const QString& name) {
            const std::optional<KeptRecord> kept = records->find(name);
            return kept ? kept->toBytes() : QByteArray();
        });
    };
    held.reset();
    const QStringList removed = read.removed;
    co_await SyncedLibrary(store).keepPoint(at, std::move(changed), removed, everything);
    m_storedPoint = at;
}

QCoro::Task<LibraryReset> RecordStoreSyncService::eraseRemoteData()
{
    co_await requireReadyAccount();
    co_await m_erase.run(eraseCheckAttempts, eraseCheckPause);
    const LibraryReset reset{QUuid::createUuid(), m_clock->now()};
    co_await m_remote.saveLibraryReset(reset);
    m_settled.reset();
    m_kept.reset();
    m_lookedForStoredPoint = true; // the records it names are gone
    co_return reset;
}

} // namespace morvane
