#pragma once

#include "model/LinkItem.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace morvane {

class SQLiteConnection;
class SQLiteStatement;
struct SQLiteValue;

// The seventeen columns every link query selects, ending before FROM: the fifteen stored columns of
// links, then tag_names (joined with U+001F, which no caller ever sees) and linked_count. Callers
// append their own "FROM links ..." tail.
const QString& linkColumnsSql();

// The same seventeen columns with the tag names empty and the linked count 0, for readers that gather
// tags and relations themselves.
const QString& linkColumnsWithoutRelationsSql();

// The tag names of a tag_names column (or of one tag's name), as a link row holds them.
QStringList splitTagNames(const QString& tagNames);

// A stored date as parseLibraryDate reads it, with a fast path for the form the library writes.
std::optional<QDateTime> readStoredDate(QByteArrayView text);

// Shares the texts that repeat from row to row of a full read, such as the few source applications of
// a whole library, instead of decoding and allocating one copy per link.
class TextInterner {
public:
    QString text(QByteArrayView utf8);

private:
    static constexpr qsizetype capacity = 16;
    QList<std::pair<QByteArray, QString>> m_texts;
};

// Reads the current row of a statement that selected linkColumnsSql() into item (every field). Rows whose
// id is not a UUID, whose type is unknown, or whose creation or update date does not read back give
// false, and item is then left in no particular state. With sourceApps, the source application texts
// are shared through it.
bool decodeLinkRow(const SQLiteStatement& row, LinkItem& item, TextInterner* sourceApps = nullptr);

// Runs a statement that selected linkColumnsSql() and decodes its rows; rows that do not decode are
// skipped.
QList<LinkItem> queryLinks(SQLiteConnection& connection, const QString& sql,
                           const QList<SQLiteValue>& parameters = {});

} // namespace morvane
