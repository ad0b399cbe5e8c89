#pragma once

#include "services/PreferenceValues.h"
#include "sync/SyncStatus.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class Clock;
class ClockTimer;
class CloudKitSyncService;
class DatabaseActionStatus;
class LinkStore;
class UserDefaults;

// When the library syncs: the sync mode, one pass at a time on demand, every 45 seconds and on
// activation, and the erase of everything, which no pass may overlap. Main thread only.
class SyncScheduler : public QObject {
    Q_OBJECT
public:
    // What the scheduler works with; the link store may be absent.
    struct Services {
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<CloudKitSyncService> syncService;
        LinkStore* linkStore = nullptr;
        std::shared_ptr<Clock> clock; // the system clock when none is given
    };

    // The erase reports through databaseAction, which outlives the scheduler.
    SyncScheduler(Services services, DatabaseActionStatus& databaseAction, QObject* parent = nullptr);
    ~SyncScheduler() override;

    SyncMode syncMode() const { return m_syncMode; }
    void setSyncMode(SyncMode mode);
    SyncStatus syncStatus() const { return m_syncStatus; }
    std::optional<QString> syncErrorMessage() const { return m_syncErrorMessage; }

    // Starts one pass unless one runs, an erase or a replacing import is under way, or sync is off.
    void syncNow();
    // syncNow, quietly doing nothing while sync is off or passes are held back.
    void syncIfEnabled();
    // The text shown for a failed pass.
    static QString syncErrorText(const std::exception& error);
    // Erases the remote records (when syncing), then the local library, and verifies it is empty.
    // A pass in flight is waited for first, and no new pass starts until the erase is done.
    void eraseAllData();
    // Installs the 45-second timer and the activation watch in iCloud mode, removes them otherwise.
    void configureAutomaticSync();
    // Removes the timer and the activation watch for good, whatever the mode; for shutting down.
    void stopAutomaticSync();
    // The presence layer calls this when the application comes to the front.
    void applicationBecameActive();
    bool isErasingDatabase() const { return m_holdSyncCount > 0; }

    // Held passes do not start; for work that replaces the library, which a pass reading the old
    // one would undo. Each hold is released once.
    void holdPasses() { ++m_holdSyncCount; }
    void releasePasses() { m_holdSyncCount = std::max(m_holdSyncCount - 1, 0); }
    // Resolves once no pass is in flight.
    QCoro::Task<void> waitForPassInFlight();
    // Runs `then` once no pass is in flight: at once, or as the pass in flight ends.
    void afterPassInFlight(std::function<void()> then);

signals:
    void syncModeChanged();
    void syncStatusChanged();
    void syncErrorMessageChanged();

private:
    void setSyncStatus(SyncStatus status);
    void setSyncErrorMessage(std::optional<QString> message);
    // Reads the account status; a ready account starts a pass.
    QCoro::Task<void> refreshSyncStatus();
    QCoro::Task<void> runSyncPass();
    // Logs a failed pass's reason when it differs from the last one logged; empty: the pass went through.
    void logPassOutcome(const QString& failure);
    QCoro::Task<void> runErase();
    void finishErase();
    // The status that follows from the sync mode alone.
    void updateStatusForSyncMode();

    Services m_services;
    DatabaseActionStatus& m_databaseAction;
    SyncMode m_syncMode = SyncMode::disabled;
    SyncStatus m_syncStatus = SyncStatus::disabled;
    std::optional<QString> m_syncErrorMessage;
    std::unique_ptr<ClockTimer> m_automaticSyncTimer;
    bool m_syncOnActivation = false;
    // Erases and replacing imports hold every new pass back while they run.
    int m_holdSyncCount = 0;
    // The displayed status can be reset by switching sync off and on; this cannot.
    bool m_passInFlight = false;
    QList<std::function<void()>> m_passWaiters;
    // The reason of the last failed pass that was logged; empty once a pass went through.
    QString m_loggedPassFailure;
};

} // namespace morvane
