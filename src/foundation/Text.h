#pragma once

#include <QString>

namespace morvane {

// User-perceived characters (extended grapheme clusters, counted with ICU).
qsizetype graphemeCount(const QString& text);
// The first count user-perceived characters of text (all of it when it is no longer).
QString leftGraphemes(const QString& text, qsizetype count);

// Unicode canonical equivalence: the NFC forms are equal.
bool canonicallyEqual(const QString& a, const QString& b);
QString nfc(const QString& text);

// White space and line breaks (Unicode) removed from both ends.
QString trimmedText(const QString& text);

} // namespace morvane
