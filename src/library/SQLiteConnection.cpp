#include "SQLiteConnection.h"

#include "StoreError.h"

#include <sqlite3.h>

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

SQLiteConnection::SQLiteConnection(SQLiteConnection&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
    , m_savepointDepth(std::exchange(other.m_savepointDepth, 0))
{
}

SQLiteConnection& SQLiteConnection::operator=(SQLiteConnection&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_savepointDepth = std::exchange(other.m_savepointDepth, 0);
    }
    return *this;
}

SQLiteConnection::~SQLiteConnection()
{
    close();
}

void SQLiteConnection::close() noexcept
{
    if (m_db != nullptr) {
        // close_v2 defers the close until any statement still alive is finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
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
