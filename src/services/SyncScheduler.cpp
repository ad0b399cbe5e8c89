#include "services/SyncScheduler.h"

#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/UserDefaults.h"
#include "model/LibraryReset.h"
#include "services/DatabaseActionStatus.h"
#include "store/LinkStore.h"
#include "sync/CloudKitSyncService.h"

#include <QCoroFuture>
#include <QPointer>

MORVANE_LOGGING_CATEGORY(lcSyncScheduler, "SyncScheduler")

namespace morvane {

namespace {

const QString notAvailableText = QStringLiteral("Link store is not available.");

} // namespace

SyncScheduler::SyncScheduler(Services services, DatabaseActionStatus& databaseAction, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_databaseAction(databaseAction)
{
    if (!m_services.clock)
        m_services.clock = SystemClock::shared();
    m_syncMode = enumValue(syncModeNames,
                           m_services.defaults->stringValue(PreferenceKeys::syncMode).value_or(QString()))
                     .value_or(SyncMode::disabled);
    updateStatusForSyncMode();
    configureAutomaticSync();
}

SyncScheduler::~SyncScheduler() = default;

void SyncScheduler::setSyncMode(SyncMode mode)
{
    if (mode == SyncMode::iCloud && m_syncMode != SyncMode::iCloud)
        LibraryReset::syncTurnedOn(*m_services.defaults);
    m_syncMode = mode;
    m_services.defaults->setString(PreferenceKeys::syncMode, enumNameText(syncModeNames, mode));
    emit syncModeChanged();
    updateStatusForSyncMode();
    configureAutomaticSync();
}

void SyncScheduler::updateStatusForSyncMode()
{
    setSyncErrorMessage(std::nullopt);
    if (m_syncMode == SyncMode::disabled) {
        setSyncStatus(SyncStatus::disabled);
        return;
    }
    setSyncStatus(SyncStatus::ready);
    refreshSyncStatus();
}

void SyncScheduler::setSyncStatus(SyncStatus status)
{
    if (m_syncStatus == status)
        return;
    m_syncStatus = status;
    emit syncStatusChanged();
}

void SyncScheduler::setSyncErrorMessage(std::optional<QString> message)
{
    if (m_syncErrorMessage == message)
        return;
    m_syncErrorMessage = std::move(message);
    emit syncErrorMessageChanged();
}

void SyncScheduler::syncNow()
{
    if (isErasingDatabase())
        return;
    if (m_syncMode != SyncMode::iCloud || !m_services.linkStore) {
        const bool on = m_syncMode == SyncMode::iCloud;
        setSyncStatus(on ? SyncStatus::error : SyncStatus::disabled);
        setSyncErrorMessage(on ? std::optional<QString>(notAvailableText) : std::nullopt);
        return;
    }
    if (m_syncStatus == SyncStatus::syncing || m_passInFlight)
        return;
    setSyncStatus(SyncStatus::syncing);
    setSyncErrorMessage(std::nullopt);
    runSyncPass();
}

void SyncScheduler::syncIfEnabled()
{
    if (m_syncMode == SyncMode::iCloud && !isErasingDatabase())
        syncNow();
}

void SyncScheduler::configureAutomaticSync()
{
    m_automaticSyncTimer.reset();
    m_syncOnActivation = m_syncMode == SyncMode::iCloud;
    if (!m_syncOnActivation)
        return;
    m_automaticSyncTimer = m_services.clock->makeTimer([this] { syncIfEnabled(); });
    m_automaticSyncTimer->start(std::chrono::seconds(45), true);
}

void SyncScheduler::stopAutomaticSync()
{
    m_automaticSyncTimer.reset();
    m_syncOnActivation = false;
}

void SyncScheduler::applicationBecameActive()
{
    if (m_syncOnActivation)
        syncIfEnabled();
}

QCoro::Task<void> SyncScheduler::runSyncPass()
{
    QPointer<SyncScheduler> self(this);
    std::shared_ptr<CloudKitSyncService> service = m_services.syncService;
    LinkStore* linkStore = m_services.linkStore;
    m_passInFlight = true;
    std::exception_ptr failure;
    try {
        co_await service->sync(*linkStore);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    m_passInFlight = false;
    for (const std::function<void()>& waiter : std::exchange(m_passWaiters, {}))
        waiter();
    QString reason;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            reason = syncErrorText(error);
        } catch (...) {
            reason = genericOperationText(QStringLiteral("unknown error"));
        }
    }
    logPassOutcome(reason);
    if (m_syncMode != SyncMode::iCloud)
        co_return;
    if (!failure) {
        // The pass itself announces what it changed in the library: an idle pass announces nothing.
        setSyncStatus(SyncStatus::upToDate);
        co_return;
    }
    setSyncStatus(SyncStatus::error);
    setSyncErrorMessage(reason);
}

void SyncScheduler::logPassOutcome(const QString& failure)
{
    // Automatic passes repeat every 45 seconds and at each activation: a failure that stays the same
    // (a full disk, a record folder gone) is said once, and again only after a pass went through or
    // the reason changed. The texts of the sync layer keep paths and record names private already.
    if (failure == m_loggedPassFailure)
        return;
    if (failure.isEmpty())
        qCInfo(lcSyncScheduler) << "A sync pass went through again";
    else
        qCWarning(lcSyncScheduler).noquote() << "The sync pass failed:" << failure;
    m_loggedPassFailure = failure;
}

QCoro::Task<void> SyncScheduler::waitForPassInFlight()
{
    if (!m_passInFlight)
        co_return;
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    afterPassInFlight([done] { done->finish(); });
    co_await done->future();
}

void SyncScheduler::afterPassInFlight(std::function<void()> then)
{
    if (m_passInFlight)
        m_passWaiters.append(std::move(then));
    else
        then();
}

QCoro::Task<void> SyncScheduler::refreshSyncStatus()
{
    QPointer<SyncScheduler> self(this);
    std::shared_ptr<CloudKitSyncService> service = m_services.syncService;
    try {
        const SyncStatus status = co_await service->accountStatus();
        if (!self || m_syncMode != SyncMode::iCloud)
            co_return;
        setSyncStatus(status);
        if (status == SyncStatus::ready)
            syncNow();
    } catch (const std::exception& error) {
        if (!self || m_syncMode != SyncMode::iCloud)
            co_return;
        setSyncStatus(SyncStatus::error);
        setSyncErrorMessage(syncErrorText(error));
    }
}

QString SyncScheduler::syncErrorText(const std::exception& error)
{
    const auto* cloud = dynamic_cast<const CloudKitError*>(&error);
    if (!cloud)
        return describeError(error);
    // The record folder has no schema to configure, so a record store error is shown as it comes.
    return QStringLiteral("Record folder error %1 (%2): %3")
        .arg(cloud->code())
        .arg(cloud->codeName(), cloud->localizedDescription());
}

void SyncScheduler::eraseAllData()
{
    if (!m_services.linkStore) {
        m_databaseAction.setMessage(QStringLiteral("Database is not available."));
        return;
    }
    const bool remote = m_syncMode == SyncMode::iCloud;
    m_databaseAction.start(remote ? QStringLiteral("Erasing Morvane data from the shared record folder...")
                                  : QStringLiteral("Erasing local Morvane database..."));
    holdPasses();
    if (remote)
        setSyncStatus(SyncStatus::syncing);
    runErase();
}

QCoro::Task<void> SyncScheduler::runErase()
{
    QPointer<SyncScheduler> self(this);
    const bool remote = m_syncMode == SyncMode::iCloud;
    LinkStore& linkStore = *m_services.linkStore;
    DatabaseActionStatus& action = m_databaseAction;
    try {
        // A pass that read the library before the erase would push it back afterwards.
        co_await waitForPassInFlight();
        if (!self)
            co_return;
        // The marker is acknowledged only once the local library is gone: until then the next pass
        // applies it here too, instead of uploading the library this erase was to remove.
        std::optional<LibraryReset> reset;
        if (remote) {
            reset = co_await m_services.syncService->eraseRemoteData();
            if (!self)
                co_return;
            action.setProgress(QStringLiteral("Erasing local Morvane database..."));
        }
        co_await linkStore.eraseAll();
        if (!self)
            co_return;
        linkStore.notifyDidMutate(false);
        action.setProgress(QStringLiteral("Verifying the local database is empty..."));
        const LibraryCounts counts = co_await linkStore.counts();
        if (!self)
            co_return;
        if (counts.links != 0 || counts.relations != 0) {
            action.setMessage(QStringLiteral("Could not verify erase: %1 link(s) and %2 relation(s) remain "
                                             "locally.")
                                  .arg(counts.links)
                                  .arg(counts.relations));
            if (remote)
                setSyncStatus(SyncStatus::error);
        } else {
            if (reset)
                LibraryReset::saveAcknowledged(*reset, *m_services.defaults);
            action.setMessage(
                remote ? QStringLiteral("All Morvane links and relations were erased on this computer "
                                        "and in the shared record folder. Your other computers clear "
                                        "after their next sync.")
                       : QStringLiteral("All Morvane links and relations on this computer were erased."));
        }
    } catch (const std::exception& error) {
        if (!self)
            co_return;
        action.setMessage(QStringLiteral("Could not erase data: ") + describeError(error));
        if (remote) {
            setSyncStatus(SyncStatus::error);
            setSyncErrorMessage(syncErrorText(error));
        }
    }
    finishErase();
}

void SyncScheduler::finishErase()
{
    releasePasses();
    m_databaseAction.finish();
    if (m_syncMode == SyncMode::iCloud && m_syncStatus == SyncStatus::syncing)
        setSyncStatus(SyncStatus::upToDate);
}

} // namespace morvane
