#pragma once

#include "StoredIdMap.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace morvane {

class SQLiteConnection;
class SQLiteRow;
class SQLiteStatement;
struct SQLiteValue;

// The seventeen columns every link query selects, ending before FROM: the fifteen stored columns of
// links, then tag_names (joined with U+001F, which no caller ever sees) and linked_count. Callers
// append their own "FROM links ..." tail.
const QString& linkColumnsSql();

// The fifteen stored columns alone, in the same order, for readers that gather tags and relations
// themselves.
const QString& linkStoredColumnsSql();

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

// Reads the fifteen stored columns of a row that selected linkStoredColumnsSql() or linkColumnsSql() into
// item, every field but tags and linkedItemCount. Rows whose id is not a UUID, whose type is unknown, or
// whose creation or update date does not read back give false, and item is then left in no particular
// state. With sourceApps, the source application texts are shared through it; with writtenKey, it is
// given the key of the id when the id is in the written form (see writtenIdKey).
bool decodeStoredLinkColumns(const SQLiteRow& row, LinkItem& item, TextInterner* sourceApps = nullptr,
                             std::optional<StoredIdKey>* writtenKey = nullptr);

// Reads the current row of a statement that selected linkColumnsSql() into item (every field), as
// decodeStoredLinkColumns does.
bool decodeLinkRow(const SQLiteStatement& row, LinkItem& item);

// Runs a statement that selected linkColumnsSql() and decodes its rows; rows that do not decode are
// skipped.
QList<LinkItem> queryLinks(SQLiteConnection& connection, const QString& sql,
                           const QList<SQLiteValue>& parameters = {});

// Runs a statement that selects a relation's id, from_link_id, to_link_id and created_at; rows that do
// not decode are skipped. With lastRow, the statement selects the row's rowid fifth, and lastRow is set
// to that of the last row read.
QList<LinkRelation> queryRelations(SQLiteConnection& connection, const QString& sql,
                                   const QList<SQLiteValue>& parameters = {}, qint64* lastRow = nullptr);

} // namespace morvane
