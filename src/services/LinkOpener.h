#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "store/ItemOpener.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class AlertPresenter;
class CalendarEventService;
class ContactService;
class DesktopServices;
class FileIdentityService;
class FileReconciliationService;
class FileWorkPool;
class KnownRootsStore;
class ProcessLauncher;

// How a PDF viewer is started at a page: the program and its arguments.
struct PdfPageCommand {
    QString program;
    QStringList arguments;
    bool operator==(const PdfPageCommand&) const = default;
};

// The command that opens the file at the page in the viewer whose desktop file is named; nothing for
// a viewer we do not know.
std::optional<PdfPageCommand> pdfPageCommand(const QString& desktopFile, const QString& path, qint64 page);

// Opens a saved item in the application it belongs to. Files are found again (this machine's own
// resolution, the link's bookmark or locator, then the known folders) on the file pool; only the open
// itself happens on the main thread. Writes nothing: the identity it returns is what the caller records
// as this machine's resolution of the link. An event, a contact or a note that no installed
// application can show is said in an alert naming the applications that would, once the caller has
// had its answer (a panel that closes on opening is gone by then).
class LinkOpener final : public ItemOpener {
public:
    LinkOpener(std::shared_ptr<const FileIdentityService> fileIdentityService,
               std::shared_ptr<const FileReconciliationService> fileReconciliationService,
               KnownRootsStore& knownRootsStore, CalendarEventService& calendarEventService,
               ContactService& contactService, std::shared_ptr<DesktopServices> desktop,
               std::shared_ptr<ProcessLauncher> launcher, std::shared_ptr<AlertPresenter> alerts,
               std::shared_ptr<FileWorkPool> filePool);

    // Main thread; resumes there. An identity only when a file or folder was opened and its evidence
    // is worth recording.
    QCoro::Task<std::optional<FileIdentity>> open(LinkItem item,
                                                  std::optional<FileIdentity> localResolution) override;

private:
    QCoro::Task<> openMessage(LinkItem item);
    // An alert saying that the item cannot be opened here, and which applications would open it.
    void sayNoApplicationOpens(const LinkItem& item, const QString& applications);
    QCoro::Task<> openFile(QString path, std::optional<qint64> page);

    std::shared_ptr<const FileIdentityService> m_identity;
    std::shared_ptr<const FileReconciliationService> m_reconciliation;
    KnownRootsStore& m_knownRoots;
    CalendarEventService& m_calendar;
    ContactService& m_contacts;
    std::shared_ptr<DesktopServices> m_desktop;
    std::shared_ptr<ProcessLauncher> m_launcher;
    std::shared_ptr<AlertPresenter> m_alerts;
    std::shared_ptr<FileWorkPool> m_filePool;
};

} // namespace morvane
