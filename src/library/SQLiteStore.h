#pragma once

#include "LibraryChangeJournal.h"
#include "LibraryFileLookups.h"
#include "LibraryMerge.h"
#include "LibraryReads.h"
#include "LibraryWrites.h"
#include "LinkSearchIndex.h"
#include "SQLiteConnection.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"
#include "foundation/Clock.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

// The library database: owns one SQLite connection, its schema, its transactions and the parts that
// read and write the library over it (LibraryReads, LibraryFileLookups, LinkSearchIndex, LibraryWrites,
// LibraryMerge, LibraryChangeJournal). Callers use the part they need; statements and the connection
// stay inside the library layer. Not thread-safe by itself: its owner calls it and its parts from one
// thread at a time. Every operation throws StoreError when a statement fails.
class SQLiteStore {
public:
    // Opens (creating or migrating) the library at the given path, or at Morvane.sqlite in the data
    // folder (created user-only with its parents) when no path is given. The clock dates what is
    // written as "now" (new links, tombstones, updates, resolutions).
    explicit SQLiteStore(const std::optional<QString>& databasePath = std::nullopt,
                         std::shared_ptr<const Clock> clock = SystemClock::shared());
    // Refreshes the statistics SQLite plans with before the connection closes.
    ~SQLiteStore();
    SQLiteStore(const SQLiteStore&) = delete;
    SQLiteStore& operator=(const SQLiteStore&) = delete;

    static QString defaultDatabasePath();
    const QString& databasePath() const { return m_databasePath; }

    // The time written as "now", from the store's clock.
    QDateTime now() const { return m_clock->now(); }

    // Runs fn inside a transaction (nested as a savepoint when one is open) and commits it; an
    // exception rolls back and propagates. For callers whose several operations must stay together.
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

    // Moves on whenever the library may have changed, through this connection or another: a sync pass
    // that finds it unmoved and the record store unchanged has nothing to do.
    std::pair<qint64, qint64> changeStamp() { return m_connection.changeStamp(); }
    // Makes the change journal again when something removed it or its triggers.
    void restoreChangeJournal() { LibraryChangeJournal::migrate(m_connection); }

    // --- The parts, each over this connection ---------------------------------------------------
    LibraryReads& reads() { return m_reads; }
    LibraryFileLookups& fileLookups() { return m_fileLookups; }
    // A library opened before it had the search index gets it in steps, so that opening does not wait;
    // searches read every row until it is complete.
    LinkSearchIndex& searchIndex() { return m_searchIndex; }
    LibraryWrites& writes() { return m_writes; }
    // The sync pull, a backup import, the erase.
    LibraryMerge& merge() { return m_merge; }
    // What changed, for a sync pass that sends only that.
    LibraryChangeJournal& journal() { return m_journal; }

private:
    static constexpr int bulkCacheKibibytes = 256 * 1024;

    // After a failed bulk transaction: moves what the log holds into the file and cuts the log to
    // nothing, unless an outer transaction is still open. Never throws.
    void truncateLog() noexcept;

    QString m_databasePath;
    SQLiteConnection m_connection;
    std::shared_ptr<const Clock> m_clock;
    LinkSearchIndex m_searchIndex{m_connection};
    LibraryReads m_reads{m_connection, m_searchIndex};
    LibraryFileLookups m_fileLookups{m_connection};
    LibraryWrites m_writes{m_connection, m_reads, *m_clock};
    LibraryMerge m_merge{m_connection, m_reads, m_writes, m_searchIndex};
    LibraryChangeJournal m_journal{m_connection};
};

} // namespace morvane
