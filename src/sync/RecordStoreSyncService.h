#pragma once

#include "foundation/Clock.h"
#include "foundation/UserDefaults.h"
#include "sync/CloudKitSyncService.h"
#include "sync/LibraryResetApplier.h"
#include "sync/RemoteErase.h"
#include "sync/RemoteRecords.h"
#include "sync/SyncCheckpoint.h"
#include "sync/SyncPull.h"

#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

class LinkStore;
struct SyncRemoteState;
struct SyncScope;

// Sync with the private record store. A pass applies a reset marker it has not applied yet, pulls every
// deletion, link and relation, looks at the marker again, then pushes what the store lacks or holds
// older, one request at a time; the first error ends it and the next pass starts over. A record the
// store cannot use (UnusableRecordError) is the exception: it is left out, the pass goes on, and the
// pass ends in a SkippedRecordsError that names what it left out. A pass that finds the library and
// the record store as the last pass left them, when that pass changed nothing and left nothing out,
// ends at once. With a record store that tracks its changes, a pass after a completed one looks only at
// what changed since on either side: the records the store answers as changed, and the keys the
// library's change journal names, with whatever each decision depends on (a link's deletion and
// relations, a relation's deletion); any doubt (another program wrote to the library, its schema moved,
// the store lost track, the last pass failed or left records out) makes it a whole pass again. Between
// passes it keeps of each record only what deciding needs (KeptRecord), and reads a link again when a
// decision compares its fields. The library keeps that too, with the version of each record, so that the
// first pass after a start reads only the records that changed since the last completed pass, unless the
// library changed since (by another program, or an older build) or the records are in another place.
// The library's work runs on the store's thread, the record store's on a thread of its own, and the
// coroutine itself on the caller's (main) thread.
class RecordStoreSyncService final : public CloudKitSyncService {
public:
    // Waits the given time; the remote erase pauses between its checks.
    using Pause = RemoteErase::Pause;

    // The applied markers and whether a pass completed are kept in the defaults; the clock dates a new
    // reset and, unless a pause is given, times the pauses. A whole pass lists the records of a store
    // that does not track its changes `perPart` to a page (at most a page's worth), and reads the links it
    // applies again `perPart` at a time: what it holds between its steps is what deciding needs of each
    // record, never the records themselves.
    RecordStoreSyncService(std::shared_ptr<RecordStore> records, std::shared_ptr<UserDefaults> defaults,
                           std::shared_ptr<Clock> clock, Pause pause = {}, qsizetype perPart = 256);
    ~RecordStoreSyncService() override;

    QCoro::Task<void> sync(LinkStore& store) override;
    QCoro::Task<SyncStatus> accountStatus() override;
    QCoro::Task<LibraryReset> eraseRemoteData() override;

    // How the erase checks that the store is empty: attempts, and the pause between two of them.
    static constexpr int eraseCheckAttempts = 6;
    static constexpr std::chrono::milliseconds eraseCheckPause{500};

private:
    // What a pass that changes nothing leaves as it found.
    struct Fingerprint {
        std::pair<qint64, qint64> library;
        std::optional<QByteArray> records;
        bool operator==(const Fingerprint&) const = default;
    };

    QCoro::Task<void> requireReadyAccount();
    QCoro::Task<Fingerprint> fingerprint(LinkStore& store);
    QCoro::Task<void> fullPass(LinkStore& store);
    // The pass with a store that tracks its changes; what it allocated is given back when it ends.
    QCoro::Task<void> trackedPass(LinkStore& store);
    // Whether it read records or decided about any, or the account that ended it before it began.
    struct PassOutcome {
        bool worked = true;
        SyncStatus account = SyncStatus::ready;
    };
    QCoro::Task<PassOutcome> changedPass(LinkStore& store);
    // The pass from the store's listing on, with what changedPass found to start from; a pass from no
    // point is given the library's side as it is read meanwhile.
    QCoro::Task<PassOutcome> listedPass(LinkStore& store, std::unique_ptr<SyncCheckpoint>& kept,
                                        std::shared_ptr<RecordVersions>& storedVersions,
                                        QFuture<LibraryChangeJournal::Changes>& journalRead,
                                        std::optional<LibraryChangeJournal::Changes>& journal,
                                        QCoro::Task<PulledLibrary>* sideAhead);
    // The point the library kept of the last completed pass, with the versions of its records.
    QCoro::Task<std::unique_ptr<SyncCheckpoint>> storedCheckpoint(LinkStore& store,
                                                                  std::shared_ptr<RecordVersions>& versions);
    // Keeps the point in the library, when it moved or the pass read anything.
    QCoro::Task<void> keepPoint(LinkStore& store, const SyncCheckpoint& point, SyncCheckpoint::Read& read,
                                bool everything);
    // Pulls, then pushes unless the reset marker moved meanwhile (it is applied instead); true when it
    // pushed. Both look at every record and row, or only at those of the scope.
    // A whole pass may be given the library's side as read ahead of it.
    QCoro::Task<bool> exchange(LinkStore& store, SyncRemoteState& remote,
                               std::shared_ptr<const SyncScope> scope, std::optional<LibraryReset> reset,
                               QCoro::Task<PulledLibrary>* sideAhead = nullptr);

    RemoteRecords m_remote;
    qsizetype m_perPart;
    std::shared_ptr<UserDefaults> m_defaults;
    std::shared_ptr<Clock> m_clock;
    LibraryResetApplier m_reset;
    RemoteErase m_erase;
    // Left by the last pass when it changed nothing.
    std::optional<Fingerprint> m_settled;
    // Left by the last completed pass with a store that tracks its changes.
    std::unique_ptr<SyncCheckpoint> m_kept;
    // Where the library says that pass left off, as this run last wrote or read it; read once a run.
    std::optional<LibrarySyncPoint::Point> m_storedPoint;
    bool m_lookedForStoredPoint = false;
};

} // namespace morvane
