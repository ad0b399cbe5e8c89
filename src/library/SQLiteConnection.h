#pragma once

#include "SQLiteValue.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

struct sqlite3;

namespace morvane {

class SQLiteStatement;
class SQLiteStatementCache;

// Owns one open SQLite connection and closes it when destroyed. Moves, never copies.
class SQLiteConnection {
public:
    // Opens (or creates) the file read-write in serialized mode; throws StoreError::openDatabase, also
    // when the file opens but cannot be written.
    static SQLiteConnection open(const QString& path);

    SQLiteConnection(SQLiteConnection&& other) noexcept;
    SQLiteConnection& operator=(SQLiteConnection&& other) noexcept;
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;
    ~SQLiteConnection();

    sqlite3* handle() const { return m_db; }
    QString errorMessage() const;

    // A prepared statement of this text, from the connection's statement cache when the cached one is
    // idle (reset, bindings cleared), otherwise prepared for this caller alone. Throws
    // StoreError::prepare.
    SQLiteStatement statement(const QString& sql);
    // Prepares, binds and steps once (a row or done is success): for writes and pragmas.
    void execute(const QString& sql, const QList<SQLiteValue>& values = {});

    // Changes whenever a row of the file may have changed: a write through this connection (committed
    // or not) or a commit by another connection. Equal stamps mean the same rows.
    std::pair<qint64, qint64> changeStamp();

    // Gives back the pages the connection keeps cached and no statement holds; it reads them again as
    // it needs them.
    void releaseMemory();

    // True while a BEGIN ... COMMIT is open on this connection.
    bool inTransaction() const;

    // Savepoint names of nested transactions are numbered by depth.
    int enterSavepoint() { return ++m_savepointDepth; }
    void leaveSavepoint() { --m_savepointDepth; }

    // Runs the action once the outermost transaction open now commits, and never when the savepoint or
    // transaction open now rolls back: for what must only be said of writes that stay. Outside a
    // transaction it runs at once.
    void runAfterCommit(std::function<void()> action);
    // Told by SQLiteTransaction; depth is that of the savepoint ended, 0 for the outermost transaction.
    void transactionEnded(int depth, bool committed);

private:
    explicit SQLiteConnection(sqlite3* db);
    void close() noexcept;

    struct PendingAction {
        int depth;
        std::function<void()> action;
    };

    sqlite3* m_db = nullptr;
    std::shared_ptr<SQLiteStatementCache> m_cache;
    int m_savepointDepth = 0;
    QList<PendingAction> m_afterCommit;
};

// Sets the connection's page cache to at most the given size for its lifetime, then back to what it was
// (SQLite then gives the pages beyond it back). The cache only grows as pages are read.
class ScopedCacheSize {
public:
    ScopedCacheSize(SQLiteConnection& connection, int kibibytes);
    ~ScopedCacheSize();
    ScopedCacheSize(const ScopedCacheSize&) = delete;
    ScopedCacheSize& operator=(const ScopedCacheSize&) = delete;

private:
    SQLiteConnection& m_connection;
    qint64 m_previous = 0;
};

} // namespace morvane
