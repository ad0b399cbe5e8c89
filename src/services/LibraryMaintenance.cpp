#include "services/LibraryMaintenance.h"

#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/LocatorUrl.h"
#include "model/LibraryReset.h"
#include "services/DatabaseActionStatus.h"
#include "services/SyncScheduler.h"
#include "store/LinkStore.h"
#include "sync/CloudKitSyncService.h"

#include <QCoroFuture>
#include <QPointer>

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

QString candidateFileName(const QString& url)
{
    const std::optional<LocatorUrl> locator = LocatorUrl::parse(url);
    return locator ? locator->lastPathComponent() : lastPathComponentOfPath(url);
}

} // namespace

LibraryMaintenance::LibraryMaintenance(Services services, SyncScheduler& sync,
                                       DatabaseActionStatus& databaseAction, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_sync(sync)
    , m_databaseAction(databaseAction)
{
    if (!m_services.clock)
        m_services.clock = SystemClock::shared();
}

LibraryMaintenance::~LibraryMaintenance() = default;

void LibraryMaintenance::exportLibrary(const QString& filePath)
{
    if (!m_services.linkStore) {
        m_databaseAction.setMessage(noDatabaseText);
        return;
    }
    m_databaseAction.start(QStringLiteral("Exporting Morvane library..."));
    runExport(filePath);
}

QCoro::Task<void> LibraryMaintenance::runExport(QString filePath)
{
    QPointer<LibraryMaintenance> self(this);
    const QDateTime exportedAt = m_services.clock->now();
    DatabaseActionStatus& action = m_databaseAction;
    try {
        QFuture<qsizetype> written = m_services.linkStore->exportLibrary(filePath, exportedAt);
        const qsizetype leftOut = co_await written;
        if (!self)
            co_return;
        action.setMessage(QStringLiteral("Exported Morvane library to ") + lastPathComponentOfPath(filePath) +
                          QStringLiteral(".") + missingLinksNote(QStringLiteral("Left out"), leftOut));
    } catch (const std::exception& error) {
        if (!self)
            co_return;
        action.setMessage(QStringLiteral("Could not export library: ") + describeError(error));
    }
    action.finish();
}

QCoro::Task<std::optional<MorvaneLibraryImportPreview>> LibraryMaintenance::previewImport(QString filePath)
{
    if (!m_services.linkStore) {
        m_databaseAction.setMessage(noDatabaseText);
        co_return std::nullopt;
    }
    QPointer<LibraryMaintenance> self(this);
    const QString path = filePath;
    try {
        const MorvaneLibraryImportPreview preview = co_await m_services.linkStore->importPreview(path);
        co_return preview;
    } catch (const std::exception& error) {
        if (self)
            m_databaseAction.setMessage(QStringLiteral("Could not read import file: ") +
                                        describeError(error));
    }
    co_return std::nullopt;
}

void LibraryMaintenance::importLibrary(const QString& filePath, bool replace)
{
    if (!m_services.linkStore) {
        m_databaseAction.setMessage(noDatabaseText);
        return;
    }
    m_databaseAction.start(replace ? QStringLiteral("Preparing to replace the local Morvane library...")
                                   : QStringLiteral("Importing Morvane library..."));
    runImport(filePath, replace);
}

QCoro::Task<void> LibraryMaintenance::runImport(QString filePath, bool replace)
{
    QPointer<LibraryMaintenance> self(this);
    LinkStore& linkStore = *m_services.linkStore;
    DatabaseActionStatus& action = m_databaseAction;
    // A pass that read the old library would push it back over the replacement.
    bool holding = replace;
    if (holding)
        m_sync.holdPasses();
    try {
        if (replace) {
            co_await m_sync.waitForPassInFlight();
            if (!self)
                co_return;
            if (m_sync.syncMode() == SyncMode::iCloud) {
                action.setProgress(QStringLiteral("Erasing Morvane data from the shared record folder..."));
                const LibraryReset reset = co_await m_services.syncService->eraseRemoteData();
                if (!self)
                    co_return;
                LibraryReset::saveAcknowledged(reset, *m_services.defaults);
            }
        }
        action.setProgress(replace ? QStringLiteral("Replacing local Morvane library...")
                                   : QStringLiteral("Importing Morvane library..."));
        const LibraryImporter::ImportCounts imported = co_await linkStore.importLibrary(filePath, replace);
        const LibraryCounts rows = co_await linkStore.counts();
        if (!self)
            co_return;
        if (std::exchange(holding, false))
            m_sync.releasePasses();
        action.setMessage(
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
        m_sync.syncIfEnabled();
    } catch (const std::exception& error) {
        if (!self)
            co_return;
        action.setMessage(QStringLiteral("Could not import library: ") + describeError(error));
    }
    if (holding)
        m_sync.releasePasses();
    action.finish();
}

QCoro::Task<QList<FileRepairIssue>> LibraryMaintenance::scanFileRepairs(QStringList knownRoots)
{
    if (!m_services.linkStore) {
        setRepairQueue(QStringLiteral("Could not scan file repairs because the local store is unavailable."),
                       false);
        co_return {};
    }
    QPointer<LibraryMaintenance> self(this);
    setRepairQueue(QStringLiteral("Scanning known roots..."), true);
    try {
        const QList<FileRepairIssue> issues = co_await m_services.linkStore->fileRepairIssues(knownRoots);
        if (self)
            setRepairQueue(issues.isEmpty() ? QStringLiteral("No file repair issues found.")
                                            : QStringLiteral("Found %1 file repair issue%2.")
                                                  .arg(issues.size())
                                                  .arg(issues.size() == 1 ? QString() : QStringLiteral("s")),
                           false);
        co_return issues;
    } catch (const std::exception& error) {
        if (self)
            setRepairQueue(QStringLiteral("Could not scan file repairs: ") + describeError(error), false);
    }
    co_return {};
}

QCoro::Task<bool> LibraryMaintenance::confirmFileRepair(LinkItem item, FileResolutionCandidate candidate)
{
    if (!m_services.linkStore) {
        setRepairQueue(QStringLiteral("Could not repair this file because the local store is unavailable."),
                       m_repairQueueInProgress);
        co_return false;
    }
    QPointer<LibraryMaintenance> self(this);
    const QString title = item.title;
    try {
        co_await m_services.linkStore->repairFileLink(item, candidate);
        if (self)
            setRepairQueue(
                QStringLiteral("Relinked “%1” to %2.").arg(title, candidateFileName(candidate.url)),
                m_repairQueueInProgress);
        co_return true;
    } catch (const std::exception& error) {
        // An unreadable chosen file is refused by the store and reported here; the issue stays listed.
        if (self)
            setRepairQueue(QStringLiteral("Could not relink “%1”: %2").arg(title, describeError(error)),
                           m_repairQueueInProgress);
    }
    co_return false;
}

void LibraryMaintenance::setRepairQueue(std::optional<QString> message, bool inProgress)
{
    m_repairQueueMessage = std::move(message);
    m_repairQueueInProgress = inProgress;
    emit repairQueueChanged();
}

} // namespace morvane
