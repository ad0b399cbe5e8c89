#pragma once

#include "capture/WindowPaths.h"
#include "model/CapturedContext.h"
#include "platform/Workspace.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class FileIdentityService;
class SessionBus;

// The PDF viewers whose document and page can be read.
enum class PdfViewer { zathura, okular, qpdfview, evince, atril };

// The viewer an application identifier names (as the window layer reports it, in any letter case);
// nothing for any other application.
std::optional<PdfViewer> pdfViewerOfIdentifier(const QString& identifier);
// The name the viewer's users know it by, written as the source application of its captures.
QString pdfViewerName(PdfViewer viewer);

// Reads the PDF a viewer window shows, at its current page. The document comes from the viewer's own
// interface where it has one (Zathura, Okular), else from the files the viewer process holds open,
// chosen by the window title; the page from the viewer's own interface (Zathura, Okular, qpdfview)
// or from the document view on the accessibility bus (Evince, Atril), found by one bounded walk of
// the window and read straight from where it was at later reads. Blocks on other applications for a
// bounded time: never on the main thread. Thread-safe.
class PdfViewerReader {
public:
    PdfViewerReader(std::shared_ptr<const SessionBus> bus,
                    std::shared_ptr<AccessibilityElements> accessibility,
                    std::shared_ptr<const FileIdentityService> fileIdentityService);

    // The file link of the document (with its page, when known) and its identity evidence; nothing
    // when the viewer shows no existing PDF or which one it shows cannot be told.
    std::optional<CapturedContext> read(PdfViewer viewer, const DesktopWindow& window) const;

private:
    std::optional<qint64> accessibilityPage(const DesktopWindow& window) const;

    std::shared_ptr<const SessionBus> m_bus;
    std::shared_ptr<AccessibilityElements> m_accessibility;
    std::shared_ptr<const FileIdentityService> m_fileIdentityService;
    std::shared_ptr<WindowPathMemo> m_documentViews = std::make_shared<WindowPathMemo>();
};

} // namespace morvane
