#pragma once

namespace morvane {

class SQLiteConnection;

// The schema of the library and SQLite's upkeep of it.
class LibrarySchema {
public:
    // Switches on foreign keys and WAL, then creates (or completes) every table, column and index. Each
    // step is safe to run on every open: a library written before the file columns gains them.
    static void migrate(SQLiteConnection& connection);

    // Lets SQLite gather the statistics it plans with; a failure is only logged.
    static void refreshStatistics(SQLiteConnection& connection) noexcept;
};

} // namespace morvane
