#pragma once

#include "capture/WindowPaths.h"
#include "model/CapturedContext.h"
#include "platform/Workspace.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class MailFolderIndex;
class ThunderbirdImapStore;

// Whether the application identifier (as the window layer reports it, in any letter case) is
// Thunderbird's.
bool isThunderbirdIdentifier(const QString& identifier);

// Reads the message selected in a Thunderbird window as a message: link made from its Message-ID.
// The accessibility bus gives the selected row of the message list (its sender, date and subject)
// and the message pane's URL, which names the folder's file in the profile (or, for IMAP, the account
// and folder whose offline copy the profile keeps); the Message-ID comes from that folder's mbox or
// maildir. The message list and the pane are looked for by one bounded walk of the window, then read
// where they were found. Blocks on Thunderbird for a bounded time and reads the folder: never on the
// main thread. Thread-safe.
class ThunderbirdMessageReader {
public:
    ThunderbirdMessageReader(std::shared_ptr<AccessibilityElements> accessibility,
                             std::shared_ptr<MailFolderIndex> folderIndex);

    // Nothing when no message is selected, when its folder is no local file, or when the folder
    // holds no single message that the row shows.
    std::optional<CapturedContext> read(const DesktopWindow& window) const;

    struct Selection {
        QString rowName;
        QString messageUrl;
        bool operator==(const Selection&) const = default;
    };
    // The message-matching half, given what the bus showed; the process finds an IMAP folder's
    // offline copy in its profile.
    std::optional<CapturedContext> contextOf(const Selection& selection, qint64 processId = 0) const;

private:
    std::optional<Selection> readSelection(const DesktopWindow& window) const;

    std::shared_ptr<AccessibilityElements> m_accessibility;
    std::shared_ptr<MailFolderIndex> m_folderIndex;
    std::shared_ptr<ThunderbirdImapStore> m_imapStore;
    // Per window: the message list (the parent of its rows), then the message pane once it was seen.
    std::shared_ptr<WindowPathMemo> m_parts = std::make_shared<WindowPathMemo>();
};

} // namespace morvane
