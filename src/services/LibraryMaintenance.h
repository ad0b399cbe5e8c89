#pragma once

#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "model/MorvaneLibraryExport.h"
#include "services/SyncScheduler.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class DatabaseActionStatus;

// The library's backups and file repairs: export and import of backup documents, and the scan and
// relinking of moved files. Main thread only.
class LibraryMaintenance : public QObject {
    Q_OBJECT
public:
    // The scheduler's own: a replacing import erases the remote records as the erase does.
    using Services = SyncScheduler::Services;

    // Backups report through databaseAction; a replacing import holds the scheduler's passes back.
    // Both outlive the maintenance.
    LibraryMaintenance(Services services, SyncScheduler& sync, DatabaseActionStatus& databaseAction,
                       QObject* parent = nullptr);
    ~LibraryMaintenance() override;

    // Writes the whole library as a backup document to the file, atomically; returns at once.
    void exportLibrary(const QString& filePath);
    QCoro::Task<std::optional<MorvaneLibraryImportPreview>> previewImport(QString filePath);
    // Merges the backup into the library, or replaces the library with it; returns at once. A
    // replacement waits for a pass in flight and holds new passes back until it is done.
    void importLibrary(const QString& filePath, bool replace);

    QCoro::Task<QList<FileRepairIssue>> scanFileRepairs(QStringList knownRoots);
    QCoro::Task<bool> confirmFileRepair(LinkItem item, FileResolutionCandidate candidate);
    std::optional<QString> repairQueueMessage() const { return m_repairQueueMessage; }
    bool repairQueueInProgress() const { return m_repairQueueInProgress; }

signals:
    void repairQueueChanged();

private:
    QCoro::Task<void> runExport(QString filePath);
    QCoro::Task<void> runImport(QString filePath, bool replace);
    void setRepairQueue(std::optional<QString> message, bool inProgress);

    Services m_services;
    SyncScheduler& m_sync;
    DatabaseActionStatus& m_databaseAction;
    std::optional<QString> m_repairQueueMessage;
    bool m_repairQueueInProgress = false;
};

} // namespace morvane
