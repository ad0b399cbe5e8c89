#include "SQLiteConnection.h"

#include "SQLiteStatement.h"
#include "SQLiteStatementCache.h"
#include "StoreError.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace morvane {

namespace {
// Another connection holding the write lock makes a write wait this long before it gives up.
constexpr int busyTimeoutMilliseconds = 5000;

bool isBusy(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// Throws when this process cannot write the library. SQLite opens a file it may only read without a
// word (it falls back to read-only), and a folder where no journal can be made or a header that
// forbids writing shows only at the first write, so every save would fail later. The probe writes
// the header's user version back unchanged inside a transaction that is rolled back: nothing reaches
// the file. A library busy in another program's write is writable and is not refused.
void ensureWritable(sqlite3* db)
{
    if (sqlite3_db_readonly(db, "main") == 1)
        throw StoreError(StoreError::Kind::openDatabase, QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)));
    int result = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (result == SQLITE_OK) {
        int version = 0;
        result = sqlite3_exec(
            db, "PRAGMA user_version",
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = values[0] != nullptr ? std::atoi(values[0]) : 0;
                return 0;
            },
            &version, nullptr);
        if (result == SQLITE_OK) {
            const QByteArray write = "PRAGMA user_version = " + QByteArray::number(version);
            result = sqlite3_exec(db, write.constData(), nullptr, nullptr, nullptr);
        }
    }
    if (result != SQLITE_OK && !isBusy(result)) {
        const StoreError error = StoreError::fromConnection(StoreError::Kind::openDatabase, db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw error;
    }
    if (sqlite3_get_autocommit(db) == 0)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}
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
    // The statement journals of savepoints stay in memory while they are small and go to a temporary
    // file past that, as SQLite sets them by default; held in memory whatever their size (temp_store =
    // MEMORY), the journal of a savepoint around a replacing import grew to the whole library, and every
    // statement inside it walked that journal from its start when it ended.
    try {
        ensureWritable(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
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

void SQLiteConnection::releaseMemory()
{
    sqlite3_db_release_memory(m_db);
}

SQLiteStatement SQLiteConnection::statement(const QString& sql)
{
    if (m_cache) {
        if (sqlite3_stmt* cached = m_cache->acquire(sql))
            return SQLiteStatement(m_db, cached, m_cache);
    }
    return SQLiteStatement(m_db, sql);
}

void SQLiteConnection::execute(const QString& sql, const QList<SQLiteValue>& values)
{
    SQLiteStatement prepared = statement(sql);
    prepared.bind(values);
    prepared.step();
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

std::pair<qint64, qint64> SQLiteConnection::changeStamp()
{
    // data_version only moves for other connections' commits; total_changes counts our own writes.
    SQLiteStatement version = statement(QStringLiteral("PRAGMA data_version"));
    const qint64 othersCommits = version.step() ? version.int64(0) : -1;
    return {othersCommits, static_cast<qint64>(sqlite3_total_changes64(m_db))};
}

bool SQLiteConnection::inTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}

ScopedCacheSize::ScopedCacheSize(SQLiteConnection& connection, int kibibytes)
    : m_connection(connection)
{
    SQLiteStatement size = connection.statement(QStringLiteral("PRAGMA cache_size"));
    m_previous = size.step() ? size.int64(0) : 0;
    connection.execute(QStringLiteral("PRAGMA cache_size = ") + QString::number(-qint64(kibibytes)));
}

ScopedCacheSize::~ScopedCacheSize()
{
    try {
        m_connection.execute(QStringLiteral("PRAGMA cache_size = ") + QString::number(m_previous));
    } catch (const StoreError&) {
        // Only a larger cache than usual stays; nothing to tell the caller, who may be unwinding.
    }
}

} // namespace morvane
