// The sync pass and erase procedures of the settings store.
#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/UserDefaults.h"
#include "model/LibraryReset.h"
#include "services/PreferencesStore.h"
#include "store/LinkStore.h"
#include "sync/CloudKitSyncService.h"

#include <QCoroFuture>

namespace morvane {

namespace {

const QString notAvailableText = QStringLiteral("Link store is not available.");

} // namespace

void PreferencesStore::syncNow()
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

void PreferencesStore::configureAutomaticSync()
{
    m_automaticSyncTimer.reset();
    m_syncOnActivation = m_syncMode == SyncMode::iCloud;
    if (!m_syncOnActivation)
        return;
    m_automaticSyncTimer = m_services.clock->makeTimer([this] { automaticSync(); });
    m_automaticSyncTimer->start(std::chrono::seconds(45), true);
}

void PreferencesStore::stopAutomaticSync()
{
    m_automaticSyncTimer.reset();
    m_syncOnActivation = false;
}

void PreferencesStore::applicationBecameActive()
{
    if (m_syncOnActivation)
        automaticSync();
}

void PreferencesStore::automaticSync()
{
    if (m_syncMode == SyncMode::iCloud && !isErasingDatabase())
        syncNow();
}

QCoro::Task<void> PreferencesStore::runSyncPass()
{
    std::shared_ptr<bool> alive = m_alive;
    std::shared_ptr<CloudKitSyncService> service = m_services.syncService;
    LinkStore* linkStore = m_services.linkStore;
    m_passInFlight = true;
    std::exception_ptr failure;
    try {
        co_await service->sync(*linkStore);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return;
    m_passInFlight = false;
    for (const std::function<void()>& waiter : std::exchange(m_passWaiters, {}))
        waiter();
    if (m_syncMode != SyncMode::iCloud)
        co_return;
    if (!failure) {
        // The pass itself announces what it changed in the library: an idle pass announces nothing.
        setSyncStatus(SyncStatus::upToDate);
        co_return;
    }
    setSyncStatus(SyncStatus::error);
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        setSyncErrorMessage(syncErrorText(error));
    } catch (...) {
        setSyncErrorMessage(genericOperationText(QStringLiteral("unknown error")));
    }
}

QCoro::Task<void> PreferencesStore::waitForPassInFlight()
{
    if (!m_passInFlight)
        co_return;
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    m_passWaiters.append([done] { done->finish(); });
    co_await done->future();
}

QCoro::Task<void> PreferencesStore::refreshSyncStatus()
{
    std::shared_ptr<bool> alive = m_alive;
    try {
        const SyncStatus status = co_await m_services.syncService->accountStatus();
        if (!*alive || m_syncMode != SyncMode::iCloud)
            co_return;
        setSyncStatus(status);
        if (status == SyncStatus::ready)
            syncNow();
    } catch (const std::exception& error) {
        if (!*alive || m_syncMode != SyncMode::iCloud)
            co_return;
        setSyncStatus(SyncStatus::error);
        setSyncErrorMessage(syncErrorText(error));
    }
}

QString PreferencesStore::syncErrorText(const std::exception& error)
{
    const auto* cloud = dynamic_cast<const CloudKitError*>(&error);
    if (!cloud)
        return describeError(error);
    // The record folder has no schema to configure, so a record store error is shown as it comes.
    return QStringLiteral("Record folder error %1 (%2): %3")
        .arg(cloud->code())
        .arg(cloud->codeName(), cloud->localizedDescription());
}

void PreferencesStore::eraseAllData()
{
    if (!m_services.linkStore) {
        setDatabaseActionMessage(QStringLiteral("Database is not available."));
        return;
    }
    const bool remote = m_syncMode == SyncMode::iCloud;
    setDatabaseActionMessage(std::nullopt);
    m_databaseActionInProgress = true;
    setDatabaseActionProgress(remote ? QStringLiteral("Erasing Morvane data from the shared record folder...")
                                     : QStringLiteral("Erasing local Morvane database..."));
    ++m_holdSyncCount;
    if (remote)
        setSyncStatus(SyncStatus::syncing);
    runErase();
}

QCoro::Task<void> PreferencesStore::runErase()
{
    std::shared_ptr<bool> alive = m_alive;
    const bool remote = m_syncMode == SyncMode::iCloud;
    LinkStore& linkStore = *m_services.linkStore;
    try {
        // A pass that read the library before the erase would push it back afterwards.
        co_await waitForPassInFlight();
        // The marker is acknowledged only once the local library is gone: until then the next pass
        // applies it here too, instead of uploading the library this erase was to remove.
        std::optional<LibraryReset> reset;
        if (remote) {
            reset = co_await m_services.syncService->eraseRemoteData();
            if (!*alive)
                co_return;
            setDatabaseActionProgress(QStringLiteral("Erasing local Morvane database..."));
        }
        co_await linkStore.eraseAll();
        if (!*alive)
            co_return;
        linkStore.notifyDidMutate(false);
        setDatabaseActionProgress(QStringLiteral("Verifying the local database is empty..."));
        const LibraryCounts counts = co_await linkStore.counts();
        if (!*alive)
            co_return;
        if (counts.links != 0 || counts.relations != 0) {
            setDatabaseActionMessage(
                QStringLiteral("Could not verify erase: %1 link(s) and %2 relation(s) remain "
                               "locally.")
                    .arg(counts.links)
                    .arg(counts.relations));
            if (remote)
                setSyncStatus(SyncStatus::error);
        } else {
            if (reset)
                LibraryReset::saveAcknowledged(*reset, *m_services.defaults);
            setDatabaseActionMessage(
                remote ? QStringLiteral("All Morvane links and relations were erased on this computer "
                                        "and in the shared record folder. Your other computers clear "
                                        "after their next sync.")
                       : QStringLiteral("All Morvane links and relations on this computer were erased."));
        }
    } catch (const std::exception& error) {
        if (!*alive)
            co_return;
        setDatabaseActionMessage(QStringLiteral("Could not erase data: ") + describeError(error));
        if (remote) {
            setSyncStatus(SyncStatus::error);
            setSyncErrorMessage(syncErrorText(error));
        }
    }
    finishDatabaseAction();
}

void PreferencesStore::finishDatabaseAction()
{
    m_holdSyncCount = std::max(m_holdSyncCount - 1, 0);
    m_databaseActionInProgress = false;
    setDatabaseActionProgress(std::nullopt);
    if (m_syncMode == SyncMode::iCloud && m_syncStatus == SyncStatus::syncing)
        setSyncStatus(SyncStatus::upToDate);
}

void PreferencesStore::setDatabaseActionMessage(std::optional<QString> message)
{
    m_databaseActionMessage = std::move(message);
    emit databaseActionChanged();
}

void PreferencesStore::setDatabaseActionProgress(std::optional<QString> message)
{
    m_databaseActionProgressMessage = std::move(message);
    emit databaseActionChanged();
}

} // namespace morvane
