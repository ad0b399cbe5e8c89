#pragma once

#include "foundation/Clock.h"
#include "foundation/UserDefaults.h"
#include "sync/CloudKitSyncService.h"
#include "sync/RemoteRecords.h"

#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

class LinkStore;

// Sync with the private record store. A pass keeps nothing between runs: it applies a newer library
// reset, pulls every tombstone, link and relation, then pushes every local tombstone, link and
// relation, one request at a time; the first error ends it and the next pass starts over. A record the
// store cannot use (UnusableRecordError) is the exception: it is left out, the pass goes on, and the
// pass ends in a SkippedRecordsError that names what it left out. The library's work runs on the
// store's thread, the record store's on a thread of its own, and the coroutine itself on the caller's
// (main) thread.
class RecordStoreSyncService final : public CloudKitSyncService {
public:
    // Waits the given time; the remote erase pauses between its checks.
    using Pause = std::function<QCoro::Task<void>(std::chrono::milliseconds)>;

    // The acknowledged reset is kept in the defaults; the clock dates a new reset and, unless a pause
    // is given, times the pauses.
    RecordStoreSyncService(std::shared_ptr<RecordStore> records, std::shared_ptr<UserDefaults> defaults,
                           std::shared_ptr<Clock> clock, Pause pause = {});

    QCoro::Task<void> sync(LinkStore& store) override;
    QCoro::Task<SyncStatus> accountStatus() override;
    QCoro::Task<LibraryReset> eraseRemoteData() override;

    // How the erase checks that the store is empty: attempts, and the pause between two of them.
    static constexpr int eraseCheckAttempts = 6;
    static constexpr std::chrono::milliseconds eraseCheckPause{500};

private:
    QCoro::Task<void> requireReadyAccount();
    QCoro::Task<void> applyLibraryReset(LinkStore& store);
    QCoro::Task<void> pull(LinkStore& store);
    QCoro::Task<void> push(LinkStore& store);
    QCoro::Task<void> deleteAllRemoteRecords();
    QCoro::Task<void> waitForRemoteErase(int attempts, std::chrono::milliseconds pause);
    QCoro::Task<void> deleteLinksAndRelations(QList<LinkItem> links, QList<LinkRelation> relations);

    RemoteRecords m_remote;
    std::shared_ptr<UserDefaults> m_defaults;
    std::shared_ptr<Clock> m_clock;
    Pause m_pause;
};

} // namespace morvane
