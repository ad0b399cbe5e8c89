#pragma once

#include "capture/CaptureReason.h"
#include "capture/WindowPaths.h"
#include "platform/Workspace.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class MailFolderIndex;

// Whether the application identifier (as the window layer reports it) is Evolution's.
bool isEvolutionIdentifier(const QString& identifier);

// Reads the message Evolution's mail view shows as a message: link made from its Message-ID. Its
// message list marks no row selected on the accessibility bus, but the preview of the selected message
// names it by its account, folder and uid in the preview document's address
// ("mail://<account>/<folder>/<uid>"), and the row under the list's cursor names its sender, subject
// and date. The account's source file (under $XDG_CONFIG_HOME/evolution/sources) says where its
// folders are; the Message-ID comes from the message's own file (a maildir's, or the copy an IMAP
// account keeps of each message it showed) or, for an mbox, from the one message of the folder that
// the row shows. Evolution shows no preview without a selected message, and keeps it out of sight
// when the preview pane is hidden or another view is in front: then nothing is selected. Blocks on
// Evolution for a bounded time and reads files: never on the main thread. Thread-safe.
class EvolutionMessageReader {
public:
    EvolutionMessageReader(std::shared_ptr<AccessibilityElements> accessibility,
                           std::shared_ptr<MailFolderIndex> folderIndex);

    WindowReading read(const DesktopWindow& window) const;

    struct Selection {
        QString previewUrl;    // the preview document's address
        QStringList cursorRow; // the cells of the message list's row holding its cursor
        bool operator==(const Selection&) const = default;
    };
    // The file half, given what the bus showed.
    WindowReading contextOf(const Selection& selection) const;

private:
    std::optional<Selection> readSelection(const DesktopWindow& window) const;

    std::shared_ptr<AccessibilityElements> m_accessibility;
    std::shared_ptr<MailFolderIndex> m_folderIndex;
    // Per window: the preview, then the lists, once the preview was seen.
    std::shared_ptr<WindowPathMemo> m_parts = std::make_shared<WindowPathMemo>();
};

} // namespace morvane
