#include "SQLiteStatementCache.h"

#include "SQLiteStatement.h"

#include <sqlite3.h>

namespace morvane {

SQLiteStatementCache::~SQLiteStatementCache()
{
    close();
}

sqlite3_stmt* SQLiteStatementCache::acquire(const QString& sql)
{
    if (m_closed || m_db == nullptr)
        return nullptr;
    const auto found = m_entries.find(sql);
    if (found != m_entries.end()) {
        if (found->busy)
            return nullptr;
        found->busy = true;
        found->lastUse = ++m_useCounter;
        return found->statement;
    }
    if (m_entries.size() >= m_capacity && !makeRoom())
        return nullptr;

    sqlite3_stmt* statement = prepareSingleStatement(m_db, sql, SQLITE_PREPARE_PERSISTENT);
    // Text that compiles to nothing (only a comment) has no statement to keep.
    if (statement == nullptr)
        return nullptr;
    m_entries.insert(sql, Entry{statement, true, ++m_useCounter});
    m_statementTexts.insert(statement, sql);
    return statement;
}

void SQLiteStatementCache::release(sqlite3_stmt* statement) noexcept
{
    const auto text = m_statementTexts.constFind(statement);
    if (text == m_statementTexts.cend())
        return;
    const auto entry = m_entries.find(*text);
    if (m_closed || entry == m_entries.end() || entry->statement != statement) {
        // Evicted or closed while in use: its last user is done with it.
        m_statementTexts.erase(text);
        sqlite3_finalize(statement);
        return;
    }
    // The reset also ends the statement's read, so an idle cached statement holds no lock.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    entry->busy = false;
}

bool SQLiteStatementCache::makeRoom()
{
    auto oldest = m_entries.end();
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (!entry->busy && (oldest == m_entries.end() || entry->lastUse < oldest->lastUse))
            oldest = entry;
    }
    if (oldest == m_entries.end())
        return false;
    m_statementTexts.remove(oldest->statement);
    sqlite3_finalize(oldest->statement);
    m_entries.erase(oldest);
    return true;
}

void SQLiteStatementCache::close() noexcept
{
    if (m_closed)
        return;
    m_closed = true;
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (!entry->busy) {
            m_statementTexts.remove(entry->statement);
            sqlite3_finalize(entry->statement);
        }
    }
    m_entries.clear();
}

} // namespace morvane
