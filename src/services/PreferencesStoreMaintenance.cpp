// The library maintenance procedures of the settings store: backups, file repair and access.
#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/LocatorUrl.h"
#include "model/LibraryReset.h"
#include "services/PreferencesStore.h"
#include "store/LinkStore.h"
#include "sync/CloudKitSyncService.h"

#include <QCoroFuture>

namespace morvane {

namespace {

const QString noDatabaseText = QStringLiteral("Database is not available.");

// Said of the relations a backup leaves out or an import skips, when there are any.
QString missingLinksNote(const QString& verb, qsizetype relations)
{
    if (relations == 0)
        return {};
    return QStringLiteral(" %1 %2 relation(s) that refer to missing links.").arg(verb).arg(relations);
}

QString calendarStateText(CalendarAccessState state)
{
    switch (state) {
    case CalendarAccessState::fullAccess:
        return QStringLiteral("Full access");
    case CalendarAccessState::notRequested:
        return QStringLiteral("Not requested");
    case CalendarAccessState::writeOnly:
        return QStringLiteral("Write-only");
    case CalendarAccessState::denied:
        return QStringLiteral("Denied");
    case CalendarAccessState::restricted:
        return QStringLiteral("Restricted");
    case CalendarAccessState::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

QString contactStateText(ContactAccessState state)
{
    switch (state) {
    case ContactAccessState::authorized:
        return QStringLiteral("Authorized");
    case ContactAccessState::notDetermined:
        return QStringLiteral("Not requested");
    case ContactAccessState::denied:
        return QStringLiteral("Denied");
    case ContactAccessState::restricted:
        return QStringLiteral("Restricted");
    case ContactAccessState::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

QString candidateFileName(const QString& url)
{
    const std::optional<LocatorUrl> locator = LocatorUrl::parse(url);
    return locator ? locator->lastPathComponent() : lastPathComponentOfPath(url);
}

} // namespace

void PreferencesStore::exportLibrary(const QString& filePath)
{
    if (!m_services.linkStore) {
        setDatabaseActionMessage(noDatabaseText);
        return;
    }
    setDatabaseActionMessage(std::nullopt);
    m_databaseActionInProgress = true;
    setDatabaseActionProgress(QStringLiteral("Exporting Morvane library..."));
    runExport(filePath);
}

QCoro::Task<void> PreferencesStore::runExport(QString filePath)
{
    std::shared_ptr<bool> alive = m_alive;
    const QDateTime exportedAt = m_services.clock->now();
    try {
        QFuture<qsizetype> written = m_services.linkStore->exportLibrary(filePath, exportedAt);
        const qsizetype leftOut = co_await written;
        if (!*alive)
            co_return;
        setDatabaseActionMessage(QStringLiteral("Exported Morvane library to ") +
                                 lastPathComponentOfPath(filePath) + QStringLiteral(".") +
                                 missingLinksNote(QStringLiteral("Left out"), leftOut));
    } catch (const std::exception& error) {
        if (!*alive)
            co_return;
        setDatabaseActionMessage(QStringLiteral("Could not export library: ") + describeError(error));
    }
    m_databaseActionInProgress = false;
    setDatabaseActionProgress(std::nullopt);
}

QCoro::Task<std::optional<MorvaneLibraryImportPreview>> PreferencesStore::previewImport(QString filePath)
{
    if (!m_services.linkStore) {
        setDatabaseActionMessage(noDatabaseText);
        co_return std::nullopt;
    }
    std::shared_ptr<bool> alive = m_alive;
    const QString path = filePath;
    try {
        const MorvaneLibraryImportPreview preview = co_await m_services.linkStore->importPreview(path);
        co_return preview;
    } catch (const std::exception& error) {
        if (*alive)
            setDatabaseActionMessage(QStringLiteral("Could not read import file: ") + describeError(error));
    }
    co_return std::nullopt;
}

void PreferencesStore::importLibrary(const QString& filePath, bool replace)
{
    if (!m_services.linkStore) {
        setDatabaseActionMessage(noDatabaseText);
        return;
    }
    setDatabaseActionMessage(std::nullopt);
    m_databaseActionInProgress = true;
    setDatabaseActionProgress(replace ? QStringLiteral("Preparing to replace the local Morvane library...")
                                      : QStringLiteral("Importing Morvane library..."));
    runImport(filePath, replace);
}

QCoro::Task<void> PreferencesStore::runImport(QString filePath, bool replace)
{
    std::shared_ptr<bool> alive = m_alive;
    LinkStore& linkStore = *m_services.linkStore;
    // A pass that read the old library would push it back over the replacement.
    bool holding = replace;
    if (holding)
        ++m_holdSyncCount;
    try {
        if (replace) {
            co_await waitForPassInFlight();
            if (m_syncMode == SyncMode::iCloud) {
                setDatabaseActionProgress(
                    QStringLiteral("Erasing Morvane data from the shared record folder..."));
                const LibraryReset reset = co_await m_services.syncService->eraseRemoteData();
                if (!*alive)
                    co_return;
                LibraryReset::saveAcknowledged(reset, *m_services.defaults);
            }
        }
        setDatabaseActionProgress(replace ? QStringLiteral("Replacing local Morvane library...")
                                          : QStringLiteral("Importing Morvane library..."));
        const LibraryImporter::ImportCounts imported = co_await linkStore.importLibrary(filePath, replace);
        const LibraryCounts rows = co_await linkStore.counts();
        if (!*alive)
            co_return;
        if (std::exchange(holding, false))
            m_holdSyncCount = std::max(m_holdSyncCount - 1, 0);
        setDatabaseActionMessage(
            QStringLiteral(
                "%1 %2 link(s) and %3 relation(s) from %4. Local library now has %5 link(s) and %6 "
                "relation(s).")
                .arg(replace ? QStringLiteral("Replaced library with") : QStringLiteral("Imported"))
                .arg(imported.linkCount)
                .arg(imported.relationCount - imported.skippedRelationCount)
                .arg(lastPathComponentOfPath(filePath))
                .arg(rows.links)
                .arg(rows.relations) +
            missingLinksNote(QStringLiteral("Skipped"), imported.skippedRelationCount));
        if (m_syncMode == SyncMode::iCloud && !isErasingDatabase())
            syncNow();
    } catch (const std::exception& error) {
        if (!*alive)
            co_return;
        setDatabaseActionMessage(QStringLiteral("Could not import library: ") + describeError(error));
    }
    if (holding)
        m_holdSyncCount = std::max(m_holdSyncCount - 1, 0);
    m_databaseActionInProgress = false;
    setDatabaseActionProgress(std::nullopt);
}

QCoro::Task<QList<FileRepairIssue>> PreferencesStore::scanFileRepairs(QStringList knownRoots)
{
    if (!m_services.linkStore) {
        setRepairQueue(QStringLiteral("Could not scan file repairs because the local store is unavailable."),
                       false);
        co_return {};
    }
    std::shared_ptr<bool> alive = m_alive;
    setRepairQueue(QStringLiteral("Scanning known roots..."), true);
    try {
        const QList<FileRepairIssue> issues = co_await m_services.linkStore->fileRepairIssues(knownRoots);
        if (*alive)
            setRepairQueue(issues.isEmpty() ? QStringLiteral("No file repair issues found.")
                                            : QStringLiteral("Found %1 file repair issue%2.")
                                                  .arg(issues.size())
                                                  .arg(issues.size() == 1 ? QString() : QStringLiteral("s")),
                           false);
        co_return issues;
    } catch (const std::exception& error) {
        if (*alive)
            setRepairQueue(QStringLiteral("Could not scan file repairs: ") + describeError(error), false);
    }
    co_return {};
}

QCoro::Task<bool> PreferencesStore::confirmFileRepair(LinkItem item, FileResolutionCandidate candidate)
{
    if (!m_services.linkStore) {
        setRepairQueue(QStringLiteral("Could not repair this file because the local store is unavailable."),
                       m_repairQueueInProgress);
        co_return false;
    }
    std::shared_ptr<bool> alive = m_alive;
    const QString title = item.title;
    try {
        co_await m_services.linkStore->repairFileLink(item, candidate);
        if (*alive)
            setRepairQueue(
                QStringLiteral("Relinked “%1” to %2.").arg(title, candidateFileName(candidate.url)),
                m_repairQueueInProgress);
        co_return true;
    } catch (const std::exception& error) {
        // An unreadable chosen file is refused by the store and reported here; the issue stays listed.
        if (*alive)
            setRepairQueue(QStringLiteral("Could not relink “%1”: %2").arg(title, describeError(error)),
                           m_repairQueueInProgress);
    }
    co_return false;
}

QCoro::Task<void> PreferencesStore::requestCalendarAccess()
{
    std::shared_ptr<bool> alive = m_alive;
    const CalendarAccessState state = co_await m_services.calendarEventService->requestAccess();
    if (!*alive)
        co_return;
    m_calendarAccessStatus = calendarStateText(state);
    emit calendarAccessStatusChanged();
}

QCoro::Task<void> PreferencesStore::requestContactAccess()
{
    std::shared_ptr<bool> alive = m_alive;
    const ContactAccessState state = co_await m_services.contactService->requestAccess();
    if (!*alive)
        co_return;
    m_contactAccessStatus = contactStateText(state);
    emit contactAccessStatusChanged();
}

void PreferencesStore::setRepairQueue(std::optional<QString> message, bool inProgress)
{
    m_repairQueueMessage = std::move(message);
    m_repairQueueInProgress = inProgress;
    emit repairQueueChanged();
}

} // namespace morvane
