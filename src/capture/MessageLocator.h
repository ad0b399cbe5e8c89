#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace morvane {

inline constexpr qsizetype maxMessageIDLength = 998;

// The Message-ID in one pair of angle brackets, whether it came with or without them; nothing when
// it is not a plausible RFC 5322 Message-ID (empty, over 998 characters, no "@", white space or a
// control character anywhere).
std::optional<QString> normalizedMessageID(const QString& raw);

// A Message-ID header's value as the Message-ID's own bytes, normalised as normalizedMessageID()
// normalises a text, or nothing when it is not plausible. A value that is not UTF-8 keeps its bytes
// (no charset is declared for it, and a mail client finds the message by exactly these), and is
// checked byte by byte, with only ASCII telling white space and control characters.
std::optional<QByteArray> messageIDOfHeader(const QByteArray& value);

// The message: locator of a normalised Message-ID: every byte (of its UTF-8 form, for a text) outside
// the unreserved characters as %XX. Nothing when the text holds a lone surrogate, which has no UTF-8
// form.
std::optional<QString> messageLocator(const QString& normalizedId);
QString messageLocator(const QByteArray& normalizedId);

// The Message-ID a message: locator names, as bytes and without its angle brackets, checked as a
// capture checks it; nothing for any other text.
std::optional<QByteArray> messageIDOfLocator(const QString& locator);

// A Message-ID as a mail client's "mid:" argument takes it: its text when it is UTF-8, otherwise its
// bytes with every one outside printable ASCII, and "%", as %XX, as a mid: URL escapes them.
QString mailClientMessageID(const QByteArray& id);

// A message's title: the non-empty ones of its subject and its sender, trimmed, joined with " - ";
// "Mail message" when both are empty.
QString mailMessageTitle(const QString& subject, const QString& sender);

} // namespace morvane
