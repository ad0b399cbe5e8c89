#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace morvane {

// What a mail client's message list shows of one stored message, and its Message-ID.
struct StoredMessage {
    QByteArray messageID; // its bytes, normalised, in angle brackets; empty when it has no valid one
    QString subject;      // decoded
    QString senderName;   // the From header's display name, decoded; empty when it has none
    QString senderAddress;
    QDateTime date; // invalid when the Date header is missing or unreadable

    bool operator==(const StoredMessage&) const = default;
};

// The sender as a message list shows it: "Name <address>", or whichever of the two the message has.
QString senderText(const StoredMessage& message);

// Reads a message's header block (the bytes up to its first blank line): folded lines unfolded,
// encoded words decoded. A message with more than one Message-ID header gets none: which one a mail
// client shows cannot be told.
StoredMessage parseMailHeaders(const QByteArray& headerBlock);

// An RFC 2047 header text: encoded words decoded in any charset ICU knows, raw bytes read as UTF-8
// (or Latin-1 when they are not).
QString decodeHeaderText(const QByteArray& raw);

} // namespace morvane
