#pragma once

#include <QHash>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace morvane {

// The prepared statements of one connection, kept by SQL text so that a statement run once per row is
// compiled once. A cached statement has one user at a time: acquire() hands it out and marks it busy,
// release() resets it, clears its bindings and marks it idle again. A caller that asks for a busy text
// gets nothing and prepares a statement of its own.
//
// The cache is shared by the connection and every statement it handed out, so a statement may outlive
// the connection's close(): it is finalized when it comes back.
class SQLiteStatementCache {
public:
    explicit SQLiteStatementCache(sqlite3* db, int capacity = 64)
        : m_db(db)
        , m_capacity(capacity)
    {
    }
    SQLiteStatementCache(const SQLiteStatementCache&) = delete;
    SQLiteStatementCache& operator=(const SQLiteStatementCache&) = delete;
    ~SQLiteStatementCache();

    // The idle statement of this text, prepared now if it is not cached; nullptr when the cached one
    // is in use or the cache is closed. A failing prepare throws StoreError.
    sqlite3_stmt* acquire(const QString& sql);
    void release(sqlite3_stmt* statement) noexcept;

    // Finalizes every idle statement; busy ones are finalized on release. Nothing is cached afterwards.
    void close() noexcept;

    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry {
        sqlite3_stmt* statement = nullptr;
        bool busy = false;
        quint64 lastUse = 0;
    };

    bool makeRoom();

    sqlite3* m_db;
    int m_capacity;
    bool m_closed = false;
    quint64 m_useCounter = 0;
    QHash<QString, Entry> m_entries;
    // Statements handed out once the cache had no entry for them any more (evicted or closed).
    QHash<sqlite3_stmt*, QString> m_statementTexts;
};

} // namespace morvane
