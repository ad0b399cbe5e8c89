#include "StoreError.h"

#include <sqlite3.h>

namespace morvane {

StoreError::StoreError(Kind kind, QString message)
    : Error(genericOperationText(message))
    , m_kind(kind)
    , m_message(std::move(message))
{
}

StoreError StoreError::fromConnection(Kind kind, sqlite3* db)
{
    if (db == nullptr)
        return StoreError(kind, QStringLiteral("Unknown SQLite error"));
    return StoreError(kind, QString::fromUtf8(sqlite3_errmsg(db)));
}

QString StoreError::localizedDescription() const
{
    return genericOperationText(m_message);
}

} // namespace morvane
