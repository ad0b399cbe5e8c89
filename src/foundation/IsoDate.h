#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

namespace morvane {

// The library's date text: UTC with exactly three fraction digits, "2024-05-01T09:30:12.345Z".
QString libraryDateString(const QDateTime& date);

// Reads library date text strictly: 1-9 fraction digits, then "Z" or a +hh:mm / -hh:mm offset.
// A missing fraction is refused. The result is UTC, truncated to milliseconds.
std::optional<QDateTime> parseLibraryDate(const QString& text);
// The same reading of UTF-8 text, for readers that take it straight from the database.
std::optional<QDateTime> parseLibraryDate(QByteArrayView utf8);

// The document date text of JSON backups: whole seconds in UTC, "2024-05-01T09:30:12Z".
QString documentDateString(const QDateTime& date);

// Reads document date text strictly: whole seconds, then "Z" or an offset. A fraction is refused.
std::optional<QDateTime> parseDocumentDate(const QString& text);

// The date truncated to whole seconds (what survives a trip through a document).
QDateTime wholeSeconds(const QDateTime& date);

} // namespace morvane
