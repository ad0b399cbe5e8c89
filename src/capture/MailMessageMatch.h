#pragma once

#include "capture/MailHeaders.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// The local folder file a mail client's message URL names ("mailbox:///…/Inbox?number=N" names the
// mbox or maildir folder …/Inbox); nothing for any other URL.
std::optional<QString> mailFolderOfMessageUrl(const QString& url);

// Whether a mail client's message pane shows a stored message: a local folder's "mailbox:" URL or an
// IMAP folder's "imap:" or "imap-message:" URL.
bool isMailMessageUrl(const QString& url);

// The one message of the folder that a message list row shows. The row's name is its cells joined
// with ", " (sender, date, subject and flags, in the list's column order): a message matches when its
// subject and its sender (display name, address, or both as "Name <address>") are each one of those
// cells, and its time of day, in local time, is the one the row shows when the row shows one. Nothing
// when no message or several with different Message-IDs match: never a wrong message.
std::optional<StoredMessage> messageOfRow(const QList<StoredMessage>& messages, const QString& rowName);

} // namespace morvane
