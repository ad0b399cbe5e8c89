#pragma once

#include "LibraryChangeJournal.h"
#include "LibraryFileLookups.h"
#include "LibraryMerge.h"
#include "LibraryReads.h"
#include "LibrarySyncPoint.h"
#include "LibraryTransactions.h"
#include "LibraryWrites.h"
#include "LinkSearchIndex.h"
#include "SQLiteConnection.h"
#include "StoreError.h"
#include "foundation/Clock.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

// The library database: owns one SQLite connection, its schema, its clock and the parts that read and
// write the library over it (LibraryReads, LibraryFileLookups, LinkSearchIndex, LibraryWrites,
// LibraryMerge, LibraryChangeJournal, LibraryTransactions). Callers use the part they need; statements and
// the connection stay inside the library layer. Not thread-safe by itself: its owner calls it and its parts
// from one thread at a time. Every operation throws StoreError when a statement fails.
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

    // Dates what the library writes as "now" (new links, tombstones, updates, resolutions).
    const Clock& clock() const { return *m_clock; }

    // Moves on whenever the library may have changed, through this connection or another: a sync pass
    // that finds it unmoved and the record store unchanged has nothing to do.
    std::pair<qint64, qint64> changeStamp() { return m_connection.changeStamp(); }

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
    // Where the last completed sync pass left the record store.
    LibrarySyncPoint& syncPoint() { return m_syncPoint; }
    // For callers whose several operations through the parts must stay together.
    LibraryTransactions& transactions() { return m_transactions; }

private:
    QString m_databasePath;
    SQLiteConnection m_connection;
    std::shared_ptr<const Clock> m_clock;
    LinkSearchIndex m_searchIndex{m_connection};
    LibraryReads m_reads{m_connection, m_searchIndex};
    LibraryFileLookups m_fileLookups{m_connection};
    LibraryWrites m_writes{m_connection, m_reads, *m_clock};
    LibraryMerge m_merge{m_connection, m_reads, m_writes, m_searchIndex};
    LibraryChangeJournal m_journal{m_connection};
    LibrarySyncPoint m_syncPoint{m_connection};
    LibraryTransactions m_transactions{m_connection};
};

} // namespace morvane
