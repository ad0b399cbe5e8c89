#include "PdfViewerReader.h"

#include "capture/PdfWindowDocument.h"
#include "capture/WindowFrame.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "model/PDFDeepLink.h"
#include "platform/AccessibilityApi.h"
#include "platform/PdfViewerBus.h"
#include "platform/ProcessOpenFiles.h"

#include <QFileInfo>

namespace morvane {

namespace {

constexpr qint64 maxPage = 99999;

} // namespace

std::optional<PdfViewer> pdfViewerOfIdentifier(const QString& identifier)
{
    static const QHash<QString, PdfViewer> viewers{
        {QStringLiteral("zathura"), PdfViewer::zathura},
        {QStringLiteral("org.pwmt.zathura"), PdfViewer::zathura},
        {QStringLiteral("okular"), PdfViewer::okular},
        {QStringLiteral("org.kde.okular"), PdfViewer::okular},
        {QStringLiteral("qpdfview"), PdfViewer::qpdfview},
        {QStringLiteral("evince"), PdfViewer::evince},
        {QStringLiteral("org.gnome.evince"), PdfViewer::evince},
        {QStringLiteral("atril"), PdfViewer::atril},
        {QStringLiteral("org.mate.atril"), PdfViewer::atril},
    };
    const auto found = viewers.constFind(identifier.toLower());
    if (found == viewers.constEnd())
        return std::nullopt;
    return *found;
}

QString pdfViewerName(PdfViewer viewer)
{
    switch (viewer) {
    case PdfViewer::zathura:
        return QStringLiteral("Zathura");
    case PdfViewer::okular:
        return QStringLiteral("Okular");
    case PdfViewer::qpdfview:
        return QStringLiteral("qpdfview");
    case PdfViewer::evince:
        return QStringLiteral("Evince");
    case PdfViewer::atril:
        return QStringLiteral("Atril");
    }
    return {};
}

PdfViewerReader::PdfViewerReader(std::shared_ptr<const SessionBus> bus,
                                 std::shared_ptr<AccessibilityElements> accessibility,
                                 std::shared_ptr<const FileIdentityService> fileIdentityService)
    : m_bus(std::move(bus))
    , m_accessibility(std::move(accessibility))
    , m_fileIdentityService(std::move(fileIdentityService))
{
}

std::optional<CapturedContext> PdfViewerReader::read(PdfViewer viewer, const DesktopWindow& window) const
{
    const qint64 processId = window.application.processId;
    std::optional<QString> path;
    std::optional<qint64> page;
    switch (viewer) {
    case PdfViewer::zathura:
    case PdfViewer::okular:
    case PdfViewer::qpdfview: {
        const auto kind = viewer == PdfViewer::zathura  ? PdfViewerInterface::zathura
                          : viewer == PdfViewer::okular ? PdfViewerInterface::okular
                                                        : PdfViewerInterface::qpdfview;
        if (const std::optional<PdfViewerAnswer> answer = askPdfViewer(*m_bus, kind, processId)) {
            // A viewer that names its document can name its page: without the page (it did not
            // answer in time, or had none yet) this read cannot tell which item is in front. The
            // document alone would be another item, and it would stand for every saved page of it.
            if (answer->path && !answer->page)
                return std::nullopt;
            path = answer->path;
            page = answer->page;
        }
        break;
    }
    case PdfViewer::evince:
    case PdfViewer::atril:
        page = accessibilityPage(window);
        break;
    }
    if (!path)
        path = pdfShownInWindow(openFilesOfProcess(processId, QStringLiteral("pdf")), window.title);
    if (!path || !path->startsWith(u'/') || !path->endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ||
        !QFileInfo(*path).isFile())
        return std::nullopt;
    if (page && (*page < 1 || *page > maxPage))
        page.reset();

    const QString fileUrl = LocatorUrl::fileUrlText(*path, false);
    const PDFDeepLink link{fileUrl, page};
    return CapturedContext{lastPathComponentOfPath(*path), link.url(), LinkType::file, pdfViewerName(viewer),
                           m_fileIdentityService->makeIdentity(fileUrl, false)};
}

// Evince and Atril say nothing of their page over the session bus; their document view on the
// accessibility bus holds it. The view is looked for once per window (a document window holds its
// pages' elements too, so the walk is bounded), then read where it was found.
std::optional<qint64> PdfViewerReader::accessibilityPage(const DesktopWindow& window) const
{
    QFuture<std::optional<qint64>> reading = m_accessibility->run(
        [window, memo = m_documentViews](AccessibilityElements& api) -> std::optional<qint64> {
            const std::optional<AccessibilityElement> frame =
                windowFrame(api, window.application.processId, window.title);
            if (!frame)
                return std::nullopt;
            const WindowPathMemo::Window key{window.windowId, window.title};
            const auto pageOf = [&](const AccessibilityElement& element) -> std::optional<qint64> {
                if (api.role(element) != AccessibilityRole::documentFrame)
                    return std::nullopt;
                return api.documentCurrentPage(element);
            };
            if (const std::optional<WindowPathMemo::Paths> known = memo->paths(key)) {
                if (known->isEmpty())
                    return std::nullopt; // walked as it is now, and it showed no document
                if (const std::optional<AccessibilityElement> view =
                        elementAtPath(api, *frame, known->first()))
                    if (std::optional<qint64> page = pageOf(*view))
                        return page;
                memo->forget(key);
            }
            BoundedWalk walk;
            walk.maxNodes = 600;
            // The sidebar's thumbnails (a layered pane of icons, one a page) hold no document view.
            walk.skipRoles = {AccessibilityRole::menuBar, AccessibilityRole::menu,
                              AccessibilityRole::popupMenu, AccessibilityRole::toolBar,
                              AccessibilityRole::layeredPane};
            std::optional<qint64> page;
            WindowPathMemo::Paths found;
            walkWithPaths(api, *frame, walk,
                          [&](const AccessibilityElement& element, const ElementPath& path) {
                              page = pageOf(element);
                              if (page)
                                  found.append(path);
                              return page.has_value();
                          });
            memo->remember(key, found);
            return page;
        });
    return jobAnswer(reading);
}

} // namespace morvane
