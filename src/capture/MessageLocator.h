#pragma once

#include <QString>

#include <optional>

namespace morvane {

inline constexpr qsizetype maxMessageIDLength = 998;

// The Message-ID in one pair of angle brackets, whether it came with or without them; nothing when
// it is not a plausible RFC 5322 Message-ID (empty, over 998 characters, no "@", white space or a
// control character anywhere).
std::optional<QString> normalizedMessageID(const QString& raw);

// The message: locator of a normalised Message-ID: every byte of its UTF-8 form outside the
// unreserved characters as %XX. Nothing when the text holds a lone surrogate, which has no UTF-8 form.
std::optional<QString> messageLocator(const QString& normalizedId);

// The Message-ID a message: locator names, without its angle brackets, checked as a capture checks
// it; nothing for any other text.
std::optional<QString> messageIDOfLocator(const QString& locator);

// A message's title: the non-empty ones of its subject and its sender, trimmed, joined with " - ";
// "Mail message" when both are empty.
QString mailMessageTitle(const QString& subject, const QString& sender);

} // namespace morvane
