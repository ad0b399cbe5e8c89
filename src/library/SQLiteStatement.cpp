#include "SQLiteStatement.h"

#include "SQLiteStatementCache.h"
#include "StoreError.h"

#include <sqlite3.h>

#include <utility>

namespace morvane {

sqlite3_stmt* prepareSingleStatement(sqlite3* db, const QString& sql, unsigned int flags)
{
    if (db == nullptr)
        throw StoreError::fromConnection(StoreError::Kind::prepare, db);
    const QByteArray text = sql.toUtf8();
    const char* const end = text.constData() + text.size();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(db, text.constData(), int(text.size()), flags, &statement, &tail) != SQLITE_OK) {
        sqlite3_finalize(statement);
        throw StoreError::fromConnection(StoreError::Kind::prepare, db);
    }
    // What follows the first statement must compile to nothing: only white space and comments.
    sqlite3_stmt* next = nullptr;
    const bool tailIsEmpty =
        tail == nullptr || tail == end ||
        (sqlite3_prepare_v2(db, tail, int(end - tail), &next, nullptr) == SQLITE_OK && next == nullptr);
    sqlite3_finalize(next);
    if (!tailIsEmpty) {
        sqlite3_finalize(statement);
        throw StoreError(StoreError::Kind::prepare,
                         QStringLiteral("more than one statement in one text: ") + sql.simplified());
    }
    return statement;
}

SQLiteStatement::SQLiteStatement(sqlite3* db, const QString& sql)
    : m_db(db)
    , m_statement(prepareSingleStatement(db, sql))
{
}

SQLiteStatement::SQLiteStatement(sqlite3* db, sqlite3_stmt* statement,
                                 std::shared_ptr<SQLiteStatementCache> cache)
    : m_db(db)
    , m_statement(statement)
    , m_cache(std::move(cache))
{
}

SQLiteStatement::SQLiteStatement(SQLiteStatement&& other) noexcept
    : m_db(other.m_db)
    , m_statement(std::exchange(other.m_statement, nullptr))
    , m_cache(std::move(other.m_cache))
{
}

SQLiteStatement::~SQLiteStatement()
{
    if (m_statement == nullptr)
        return;
    if (m_cache)
        m_cache->release(m_statement);
    else
        sqlite3_finalize(m_statement);
}

void SQLiteStatement::bind(const QList<SQLiteValue>& values)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        const int index = int(i) + 1;
        const int result = std::visit(
            [&](const auto& payload) -> int {
                using Payload = std::decay_t<decltype(payload)>;
                if (!payload)
                    return sqlite3_bind_null(m_statement, index);
                if constexpr (std::is_same_v<Payload, SQLiteValue::Text>) {
                    const QByteArray utf8 = payload->toUtf8();
                    return sqlite3_bind_text64(m_statement, index, utf8.constData(),
                                               sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
                } else if constexpr (std::is_same_v<Payload, SQLiteValue::Blob>) {
                    // A null data pointer would bind NULL: empty bytes are a zero-length BLOB.
                    if (payload->isEmpty())
                        return sqlite3_bind_zeroblob(m_statement, index, 0);
                    return sqlite3_bind_blob64(m_statement, index, payload->constData(),
                                               sqlite3_uint64(payload->size()), SQLITE_TRANSIENT);
                } else {
                    return sqlite3_bind_int64(m_statement, index, *payload);
                }
            },
            values.at(i).payload);
        if (result != SQLITE_OK)
            throw StoreError::fromConnection(StoreError::Kind::bind, m_db);
    }
}

void SQLiteStatement::bindText(int parameter, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text64(m_statement, parameter, utf8.constData(), sqlite3_uint64(utf8.size()),
                            SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        throw StoreError::fromConnection(StoreError::Kind::bind, m_db);
}

void SQLiteStatement::bindText(int parameter, const std::optional<QString>& value)
{
    if (value) {
        bindText(parameter, *value);
    } else if (sqlite3_bind_null(m_statement, parameter) != SQLITE_OK) {
        throw StoreError::fromConnection(StoreError::Kind::bind, m_db);
    }
}

void SQLiteStatement::bindInteger(int parameter, std::optional<qint64> value)
{
    const int result = value ? sqlite3_bind_int64(m_statement, parameter, *value)
                             : sqlite3_bind_null(m_statement, parameter);
    if (result != SQLITE_OK)
        throw StoreError::fromConnection(StoreError::Kind::bind, m_db);
}

bool SQLiteStatement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    throw StoreError::fromConnection(StoreError::Kind::step, m_db);
}

void SQLiteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool SQLiteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

QString SQLiteStatement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (data == nullptr)
        return QString();
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

QByteArrayView SQLiteStatement::utf8(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (data == nullptr)
        return QByteArrayView();
    return QByteArrayView(data, sqlite3_column_bytes(m_statement, column));
}

std::optional<QString> SQLiteStatement::optionalText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

QByteArrayView SQLiteStatement::bytes(int column) const
{
    const void* data = sqlite3_column_blob(m_statement, column);
    if (data == nullptr)
        return QByteArrayView();
    return QByteArrayView(static_cast<const char*>(data), sqlite3_column_bytes(m_statement, column));
}

std::optional<QByteArray> SQLiteStatement::blob(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const void* data = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    if (data == nullptr || size == 0)
        return QByteArray();
    return QByteArray(static_cast<const char*>(data), size);
}

qint64 SQLiteStatement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::optional<qint64> SQLiteStatement::optionalInt64(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return int64(column);
}

SQLiteRow::SQLiteRow(const SQLiteStatement& statement)
    : m_statement(statement.m_statement)
    , m_mutex(sqlite3_db_mutex(statement.m_db))
{
    sqlite3_mutex_enter(m_mutex);
}

SQLiteRow::~SQLiteRow()
{
    sqlite3_mutex_leave(m_mutex);
}

// A column's value may be read through the value functions only while the connection's lock is held,
// which it is for the row's whole life; the lock is recursive, so taking it again here costs little.
sqlite3_value* SQLiteRow::value(int column) const
{
    return sqlite3_column_value(m_statement, column);
}

bool SQLiteRow::isNull(int column) const
{
    return sqlite3_value_type(value(column)) == SQLITE_NULL;
}

QString SQLiteRow::text(int column) const
{
    const QByteArrayView bytes = utf8(column);
    return bytes.data() == nullptr ? QString() : QString::fromUtf8(bytes);
}

QByteArrayView SQLiteRow::utf8(int column) const
{
    sqlite3_value* const cell = value(column);
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(cell));
    if (data == nullptr)
        return QByteArrayView();
    return QByteArrayView(data, sqlite3_value_bytes(cell));
}

std::optional<QByteArrayView> SQLiteRow::optionalUtf8(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return utf8(column);
}

std::optional<QString> SQLiteRow::optionalText(int column) const
{
    const std::optional<QByteArrayView> bytes = optionalUtf8(column);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

std::optional<QByteArray> SQLiteRow::blob(int column) const
{
    sqlite3_value* const cell = value(column);
    if (sqlite3_value_type(cell) == SQLITE_NULL)
        return std::nullopt;
    const void* data = sqlite3_value_blob(cell);
    const int size = sqlite3_value_bytes(cell);
    if (data == nullptr || size == 0)
        return QByteArray();
    return QByteArray(static_cast<const char*>(data), size);
}

qint64 SQLiteRow::int64(int column) const
{
    return sqlite3_value_int64(value(column));
}

std::optional<qint64> SQLiteRow::optionalInt64(int column) const
{
    sqlite3_value* const cell = value(column);
    if (sqlite3_value_type(cell) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_value_int64(cell);
}

} // namespace morvane
