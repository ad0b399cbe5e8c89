#pragma once

#include "SQLiteValue.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_mutex;
struct sqlite3_stmt;
struct sqlite3_value;

namespace morvane {

class SQLiteStatementCache;

// Prepares the one statement of sql, as sqlite3_prepare_v3 with these flags; throws StoreError::prepare
// when it does not compile or when more than white space and comments follow it. Gives nullptr for a
// text with no statement at all.
sqlite3_stmt* prepareSingleStatement(sqlite3* db, const QString& sql, unsigned int flags = 0);

// One prepared statement, finalized when destroyed (or, when it came from the connection's cache,
// reset and handed back to it). Every failure throws StoreError with the
// connection's message: prepare, bind, or step for any result other than a row or done.
//
// A text holds one statement: "A; B" is refused when it is prepared (StoreError::prepare), since
// SQLite would prepare A alone and B would silently never run.
class SQLiteStatement {
public:
    SQLiteStatement(sqlite3* db, const QString& sql);
    // A statement lent by the cache, which takes it back when this is destroyed.
    SQLiteStatement(sqlite3* db, sqlite3_stmt* statement, std::shared_ptr<SQLiteStatementCache> cache);
    SQLiteStatement(SQLiteStatement&& other) noexcept;
    SQLiteStatement& operator=(SQLiteStatement&&) = delete;
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;
    ~SQLiteStatement();

    // Binds value i to parameter i + 1; the first failing bind throws StoreError::bind.
    void bind(const QList<SQLiteValue>& values);
    // Bind one parameter (numbered from 1) as bind does, without a list of values: for statements run
    // once per row of a long loop. An absent value binds NULL.
    void bindText(int parameter, const QString& value);
    void bindText(int parameter, const std::optional<QString>& value);
    void bindInteger(int parameter, std::optional<qint64> value);

    // True for a row, false when done; anything else (busy, I/O error, corruption) throws.
    bool step();
    // Makes the statement ready to run again with new bindings (for loops that write many rows).
    void reset();

    bool isNull(int column) const;
    QString text(int column) const; // NULL reads as the empty text
    // The column's text as SQLite holds it, valid until the next step: for readers that only compare or
    // hash a value, where making a QString of every row would cost more than the read itself.
    QByteArrayView utf8(int column) const;
    std::optional<QString> optionalText(int column) const;
    std::optional<QByteArray> blob(int column) const; // NULL gives nothing; zero bytes give empty bytes
    // The column's bytes as SQLite holds them (a blob's, or a text's UTF-8), valid until the next step;
    // NULL gives none.
    QByteArrayView bytes(int column) const;
    qint64 int64(int column) const;
    std::optional<qint64> optionalInt64(int column) const;

private:
    friend class SQLiteRow;

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    std::shared_ptr<SQLiteStatementCache> m_cache;
};

// The current row of a statement, read under one hold of the connection's lock: each of the
// statement's own column readers takes and drops that lock two or three times, which for a reader of
// many columns of many rows cost more than decoding them. Reads as the statement's readers of the same
// names do; views stay valid until the statement's next step. Keep it to the span of one row, since
// every other thread using the connection waits meanwhile.
class SQLiteRow {
public:
    explicit SQLiteRow(const SQLiteStatement& statement);
    ~SQLiteRow();
    SQLiteRow(const SQLiteRow&) = delete;
    SQLiteRow& operator=(const SQLiteRow&) = delete;

    bool isNull(int column) const;
    QString text(int column) const;
    QByteArrayView utf8(int column) const;
    // Nothing for NULL, else the text as utf8 gives it.
    std::optional<QByteArrayView> optionalUtf8(int column) const;
    std::optional<QString> optionalText(int column) const;
    std::optional<QByteArray> blob(int column) const;
    qint64 int64(int column) const;
    std::optional<qint64> optionalInt64(int column) const;

private:
    sqlite3_value* value(int column) const;

    sqlite3_stmt* m_statement;
    sqlite3_mutex* m_mutex;
};

} // namespace morvane
