#include "LinkOpener.h"

#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "capture/MessageLocator.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "files/FileResolutionCandidate.h"
#include "files/KnownRootsStore.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Uuid.h"
#include "library/LinkParser.h"
#include "model/PDFDeepLink.h"
#include "platform/AlertPresenter.h"
#include "platform/DesktopServices.h"
#include "platform/ProcessLauncher.h"
#include "store/FileWorkPool.h"

#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QFileInfo>

MORVANE_LOGGING_CATEGORY(lcOpener, "LinkOpener")

namespace morvane {

namespace {

constexpr std::chrono::milliseconds viewerQueryTimeout{5000};

struct FoundFile {
    QString path;
    std::optional<FileIdentity> identity; // to record, when there is something new
};

std::optional<QString> existingPath(const QString& fileUrl)
{
    std::optional<QString> path = localPathOfFileUrl(fileUrl);
    if (path && QFileInfo::exists(*path))
        return path;
    return std::nullopt;
}

// The lookups in order; the first that finds an existing file wins. Hashes files and may scan the
// known folders, so it never runs on the main thread.
std::optional<FoundFile> findFile(const FileIdentityService& identity,
                                  const FileReconciliationService& reconciliation, const LinkItem& item,
                                  const std::optional<FileIdentity>& localResolution,
                                  const QStringList& roots)
{
    if (localResolution) {
        const auto resolved = identity.resolveBookmark(
            localResolution->bookmarkData, LocatorUrl::fileUrlText(localResolution->lastKnownPath));
        if (resolved) {
            if (const auto path = existingPath(resolved->url)) {
                if (resolved->refreshedIdentity)
                    return FoundFile{*path, resolved->refreshedIdentity};
                return FoundFile{*path, identity.makeIdentity(resolved->url, true)};
            }
        }
    }
    if (const auto resolved = identity.resolveBookmark(item.bookmarkData, item.url)) {
        if (const auto path = existingPath(resolved->url))
            return FoundFile{*path, resolved->refreshedIdentity};
    }
    const FileReconciliationResult result = reconciliation.reconcile(item, roots);
    if (result.acceptedCandidate) {
        const QString& url = result.acceptedCandidate->url;
        if (auto found = identity.makeIdentity(url, true)) {
            if (const auto path = localPathOfFileUrl(url))
                return FoundFile{*path, std::move(found)};
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<PdfPageCommand> pdfPageCommand(const QString& desktopFile, const QString& path, qint64 page)
{
    const QString name = desktopFile.trimmed().toLower();
    const QString number = QString::number(page);
    if (name.contains(u"evince"))
        return PdfPageCommand{QStringLiteral("evince"), {"--page-index=" + number, path}};
    if (name.contains(u"atril"))
        return PdfPageCommand{QStringLiteral("atril"), {"--page-index=" + number, path}};
    if (name.contains(u"okular"))
        return PdfPageCommand{QStringLiteral("okular"), {QStringLiteral("-p"), number, path}};
    if (name.contains(u"zathura"))
        return PdfPageCommand{QStringLiteral("zathura"), {QStringLiteral("-P"), number, path}};
    // As its desktop entry starts it: a running instance opens the file itself, and the one instance
    // answers for its page on the session bus.
    if (name.contains(u"qpdfview"))
        return PdfPageCommand{QStringLiteral("qpdfview"), {QStringLiteral("--unique"), path + "#" + number}};
    return std::nullopt;
}

LinkOpener::LinkOpener(std::shared_ptr<const FileIdentityService> fileIdentityService,
                       std::shared_ptr<const FileReconciliationService> fileReconciliationService,
                       KnownRootsStore& knownRootsStore, CalendarEventService& calendarEventService,
                       ContactService& contactService, std::shared_ptr<DesktopServices> desktop,
                       std::shared_ptr<ProcessLauncher> launcher, std::shared_ptr<AlertPresenter> alerts,
                       std::shared_ptr<FileWorkPool> filePool)
    : m_identity(std::move(fileIdentityService))
    , m_reconciliation(std::move(fileReconciliationService))
    , m_knownRoots(knownRootsStore)
    , m_calendar(calendarEventService)
    , m_contacts(contactService)
    , m_desktop(std::move(desktop))
    , m_launcher(std::move(launcher))
    , m_alerts(std::move(alerts))
    , m_filePool(std::move(filePool))
{
}

QCoro::Task<std::optional<FileIdentity>> LinkOpener::open(LinkItem item,
                                                          std::optional<FileIdentity> localResolution)
{
    const QString id = uuidString(item.id);
    if (!LocatorUrl::parse(item.url)) {
        qCCritical(lcOpener).noquote() << "Refused to open malformed URL for link" << id;
        co_return std::nullopt;
    }
    // A record from a backup or another machine may carry any URL under any type: a "web" link to a
    // local program or to our own scheme must not open.
    if (!LinkParser::schemeBelongsToType(item.url, item.type)) {
        qCCritical(lcOpener).noquote()
            << "Refused to open a URL whose scheme its type does not own for link" << id;
        co_return std::nullopt;
    }
    switch (item.type) {
    case LinkType::calendar: {
        QCoro::Task<RevealOutcome> revealing = m_calendar.open(item);
        if (co_await std::move(revealing) == RevealOutcome::noApplication)
            sayNoApplicationOpens(item,
                                  QStringLiteral("Saved events open in GNOME Calendar or Evolution, and "
                                                 "neither is installed."));
        co_return std::nullopt;
    }
    case LinkType::contact: {
        QCoro::Task<RevealOutcome> revealing = m_contacts.open(item);
        if (co_await std::move(revealing) == RevealOutcome::noApplication)
            sayNoApplicationOpens(item, QStringLiteral("Saved contacts open in GNOME Contacts or Evolution, "
                                                       "and neither is installed."));
        co_return std::nullopt;
    }
    case LinkType::obsidian: {
        QFuture<bool> opening = m_desktop->openUrl(item.url);
        if (!co_await opening)
            sayNoApplicationOpens(item,
                                  QStringLiteral("Saved notes open in Obsidian, which is not installed."));
        co_return std::nullopt;
    }
    case LinkType::file:
    case LinkType::folder:
        break;
    case LinkType::mail: {
        QCoro::Task<> opening = openMessage(item);
        co_await std::move(opening);
        co_return std::nullopt;
    }
    default:
        m_desktop->openUrl(item.url);
        co_return std::nullopt;
    }

    std::optional<qint64> page;
    if (const auto deepLink = PDFDeepLink::fromString(item.url))
        page = deepLink->page;
    // Read at each open: a folder added in Preferences counts at once.
    m_knownRoots.reload();
    const QStringList roots = m_knownRoots.rootPaths();
    const auto lookup = [identity = m_identity, reconciliation = m_reconciliation, item, localResolution,
                         roots] {
        return findFile(*identity, *reconciliation, item, localResolution, roots);
    };
    QFuture<std::optional<FoundFile>> finding = m_filePool->run(lookup);
    const std::optional<FoundFile> found = co_await finding;
    if (!found) {
        qCCritical(lcOpener).noquote() << "Unable to resolve file link" << id;
        co_return std::nullopt;
    }
    const bool isPdf = pathExtensionOfPath(found->path).toLower() == QLatin1String("pdf");
    const std::optional<qint64> pdfPage = isPdf ? page : std::nullopt;
    QCoro::Task<> opening = openFile(found->path, pdfPage);
    co_await opening;
    co_return found->identity;
}

void LinkOpener::sayNoApplicationOpens(const LinkItem& item, const QString& applications)
{
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.messageText = QStringLiteral("“%1” cannot be opened.").arg(item.title);
    alert.informativeText = applications;
    // Shown once the caller has its answer: the quick panel closes on opening, and the alert, which
    // waits for the user, must not hold it open or stand behind it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [alerts = m_alerts, alert] { alerts->present(alert); },
        Qt::QueuedConnection);
}

// The desktop has no handler for message: URLs; a mail client that keeps the message opens it by its
// Message-ID (a running Thunderbird shows it in a window of its own, Evolution searches all its
// accounts for it and selects it). The client it was captured from is asked first, for the other one
// may not hold it; then the desktop's mail program, then the other one.
QCoro::Task<> LinkOpener::openMessage(LinkItem item)
{
    const std::optional<QByteArray> id = messageIDOfLocator(item.url);
    if (!id) {
        m_desktop->openUrl(item.url);
        co_return;
    }
    const QString thunderbird = QStringLiteral("thunderbird");
    const QString evolution = QStringLiteral("evolution");
    QStringList clients{thunderbird, evolution};
    if (item.sourceApp.compare(evolution, Qt::CaseInsensitive) == 0) {
        clients = {evolution, thunderbird};
    } else if (item.sourceApp.compare(thunderbird, Qt::CaseInsensitive) != 0) {
        QFuture<ProcessResult> query = m_launcher->run(
            QStringLiteral("xdg-mime"),
            {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/mailto")},
            viewerQueryTimeout);
        const ProcessResult mailer = co_await query;
        if (mailer.succeeded() &&
            QString::fromUtf8(mailer.standardOutput).contains(evolution, Qt::CaseInsensitive))
            clients = {evolution, thunderbird};
    }
    const QStringList arguments{QStringLiteral("mid:") + mailClientMessageID(*id)};
    for (const QString& client : clients) {
        if (m_launcher->startDetached(client, arguments))
            co_return;
    }
    m_desktop->openUrl(item.url);
}

// The page is asked of the viewer itself: handed through the desktop's opener, a "#page=N" fragment is
// dropped or makes the file unreadable.
QCoro::Task<> LinkOpener::openFile(QString path, std::optional<qint64> page)
{
    if (page) {
        QFuture<ProcessResult> query = m_launcher->run(
            QStringLiteral("xdg-mime"),
            {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")},
            viewerQueryTimeout);
        const ProcessResult viewer = co_await query;
        const auto command = viewer.succeeded()
                                 ? pdfPageCommand(QString::fromUtf8(viewer.standardOutput), path, *page)
                                 : std::nullopt;
        if (command && m_launcher->startDetached(command->program, command->arguments))
            co_return;
        qCInfo(lcOpener) << "Unable to request PDF page: the default PDF viewer cannot be asked for a page";
    }
    m_desktop->openUrl(LocatorUrl::fileUrlText(path));
}

} // namespace morvane
