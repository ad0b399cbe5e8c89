#pragma once

#include "model/LinkItem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

// Reads the current row of a statement that selected linkColumnsSql() into item (every field). Rows whose
// id is not a UUID, whose type is unknown, or whose creation or update date does not read back give
// false, and item is then left in no particular state.
bool decodeLinkRow(const SQLiteStatement& row, LinkItem& item);

// Runs a statement that selected linkColumnsSql() and decodes its rows; rows that do not decode are
// skipped.
QList<LinkItem> queryLinks(SQLiteConnection& connection, const QString& sql,
                           const QList<SQLiteValue>& parameters = {});

} // namespace morvane
