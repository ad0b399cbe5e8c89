#pragma once

#include <QString>

#include <optional>

namespace morvane {

class SessionBus;

// The PDF viewers that say over the session bus which document they show and at which page.
enum class PdfViewerInterface { zathura, okular, qpdfview };

// What a viewer said of its document: each part absent when it did not say. The page counts from 1.
struct PdfViewerAnswer {
    std::optional<QString> path;
    std::optional<qint64> page;

    bool operator==(const PdfViewerAnswer&) const = default;
};

// Asks the viewer running as the process; nothing when it does not answer, or when the name it
// would answer under belongs to another process (a second instance, or anything else that took the
// name). Blocks for at most a few bus time-outs: never on the main thread.
std::optional<PdfViewerAnswer> askPdfViewer(const SessionBus& bus, PdfViewerInterface viewer,
                                            qint64 processId);

} // namespace morvane
