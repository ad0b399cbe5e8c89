#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace morvane {

// Joins the fields of a script's answer that carries several (the unit separator, ASCII 31).
inline constexpr QChar payloadSeparator = u'\x1f';

// Limits of captured texts, counted in user-perceived characters: titles and display fields are cut,
// longer locators are refused.
inline constexpr qsizetype maxCapturedTitleLength = 500;
inline constexpr qsizetype maxCapturedLocatorLength = 4096;

// The fields of a multi-field answer, split at every separator, empty ones kept in place. The
// fields are not trimmed: a caller trims the ones it uses (trimmedText, whose white-space set does
// not hold the separator).
QStringList payloadFields(const QString& answer);

// Whether the text holds a control or format character (Unicode Cc and Cf).
bool containsControlCharacter(QStringView text);
// Whether the text holds white space or a line break.
bool containsWhiteSpace(QStringView text);

// A base-10 integer: an optional sign, then ASCII digits and nothing else (no blanks, which
// QString::toLongLong would take); nothing when it does not fit 64 bits.
std::optional<qint64> signedDecimal(const QString& text);

// The text as a string literal of a script, in double quotes: every text spliced into a script goes
// through this, so a quote or backslash in it cannot end the literal early.
QString scriptStringLiteral(const QString& text);

} // namespace morvane
