#include "SQLiteConnection.h"

#include "SQLiteStatement.h"
#include "SQLiteStatementCache.h"
#include "StoreError.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

namespace morvane {

namespace {
// Another connection holding the write lock makes a write wait this long before it gives up.
constexpr int busyTimeoutMilliseconds = 5000;
} // namespace

SQLiteConnection SQLiteConnection::open(const QString& path)
{
    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    const int result = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    if (result != SQLITE_OK) {
        const StoreError error = StoreError::fromConnection(StoreError::Kind::openDatabase, db);
        sqlite3_close_v2(db);
        throw error;
    }
    sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
    return SQLiteConnection(db);
}

SQLiteConnection::SQLiteConnection(sqlite3* db)
    : m_db(db)
    , m_cache(std::make_shared<SQLiteStatementCache>(db))
{
}

SQLiteConnection::SQLiteConnection(SQLiteConnection&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
    , m_cache(std::move(other.m_cache))
    , m_savepointDepth(std::exchange(other.m_savepointDepth, 0))
    , m_afterCommit(std::exchange(other.m_afterCommit, {}))
{
}

SQLiteConnection& SQLiteConnection::operator=(SQLiteConnection&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_cache = std::move(other.m_cache);
        m_savepointDepth = std::exchange(other.m_savepointDepth, 0);
        m_afterCommit = std::exchange(other.m_afterCommit, {});
    }
    return *this;
}

SQLiteConnection::~SQLiteConnection()
{
    close();
}

void SQLiteConnection::close() noexcept
{
    if (m_cache)
        m_cache->close();
    if (m_db != nullptr) {
        // close_v2 defers the close until any statement still alive is finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

SQLiteStatement SQLiteConnection::statement(const QString& sql)
{
    if (m_cache) {
        if (sqlite3_stmt* cached = m_cache->acquire(sql))
            return SQLiteStatement(m_db, cached, m_cache);
    }
    return SQLiteStatement(m_db, sql);
}

void SQLiteConnection::runAfterCommit(std::function<void()> action)
{
    if (!inTransaction()) {
        action();
        return;
    }
    m_afterCommit.append(PendingAction{m_savepointDepth, std::move(action)});
}

void SQLiteConnection::transactionEnded(int depth, bool committed)
{
    if (depth == 0) {
        QList<PendingAction> pending = std::exchange(m_afterCommit, {});
        if (committed) {
            for (const PendingAction& entry : pending)
                entry.action();
        }
        return;
    }
    // A released savepoint's actions now belong to the enclosing level; a rolled back one's are gone.
    if (committed) {
        for (PendingAction& entry : m_afterCommit)
            entry.depth = std::min(entry.depth, depth - 1);
    } else {
        m_afterCommit.removeIf([depth](const PendingAction& entry) { return entry.depth >= depth; });
    }
}

QString SQLiteConnection::errorMessage() const
{
    if (m_db == nullptr)
        return QStringLiteral("Unknown SQLite error");
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool SQLiteConnection::inTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}

} // namespace morvane
