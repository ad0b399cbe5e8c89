#pragma once

#include "model/LinkItem.h"

#include <QString>

#include <optional>

namespace morvane {

class SQLiteStatement;

// The seventeen columns every link query selects, ending before FROM: the fifteen stored columns of
// links, then tag_names (joined with U+001F, which no caller ever sees) and linked_count. Callers
// append their own "FROM links ..." tail.
const QString& linkColumnsSql();

// Reads the current row of a statement that selected linkColumnsSql(). Rows whose id is not a UUID,
// whose type is unknown, or whose creation or update date does not read back give nothing.
std::optional<LinkItem> decodeLinkRow(const SQLiteStatement& row);

} // namespace morvane
