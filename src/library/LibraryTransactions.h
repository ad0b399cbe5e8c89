#pragma once

#include "SQLiteConnection.h"
#include "SQLiteTransaction.h"

#include <utility>

namespace morvane {

// The transactions of the library's connection, for callers whose several operations must stay
// together: holding this lets a caller group the writes it makes through the other parts, and no more.
class LibraryTransactions {
public:
    explicit LibraryTransactions(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // Runs fn inside a transaction (nested as a savepoint when one is open) and commits it; an
    // exception rolls back and propagates.
    template <class F> decltype(auto) inTransaction(F&& fn)
    {
        return morvane::inTransaction(m_connection, std::forward<F>(fn));
    }

    // The same for a transaction that writes a large part of the library at once (an import): SQLite's
    // page cache is made large enough to hold what it changes for its duration. With the usual small
    // cache, every row written to an index keyed by random ids found its page evicted, so the pages went
    // out to the log and were read back row after row, and the time grew with the square of the size.
    //
    // Such a transaction that fails may leave the write-ahead log as large as what it wrote: on a disk
    // it filled, the library could not even be opened again. The log is then emptied and cut to nothing.
    template <class F> decltype(auto) inBulkTransaction(F&& fn)
    {
        const ScopedCacheSize cache(m_connection, bulkCacheKibibytes);
        try {
            return morvane::inTransaction(m_connection, std::forward<F>(fn));
        } catch (...) {
            truncateLog();
            throw;
        }
    }

private:
    static constexpr int bulkCacheKibibytes = 256 * 1024;

    // After a failed bulk transaction: moves what the log holds into the file and cuts the log to
    // nothing, unless an outer transaction is still open. Never throws.
    void truncateLog() noexcept;

    SQLiteConnection& m_connection;
};

} // namespace morvane
