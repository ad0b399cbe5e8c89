#pragma once

#include <QString>

struct sqlite3;

namespace morvane {

// Owns one open SQLite connection and closes it when destroyed. Moves, never copies.
class SQLiteConnection {
public:
    // Opens (or creates) the file read-write in serialized mode; throws StoreError::openDatabase.
    static SQLiteConnection open(const QString& path);

    SQLiteConnection(SQLiteConnection&& other) noexcept;
    SQLiteConnection& operator=(SQLiteConnection&& other) noexcept;
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;
    ~SQLiteConnection();

    sqlite3* handle() const { return m_db; }
    QString errorMessage() const;

    // True while a BEGIN ... COMMIT is open on this connection.
    bool inTransaction() const;

    // Savepoint names of nested transactions are numbered by depth.
    int enterSavepoint() { return ++m_savepointDepth; }
    void leaveSavepoint() { --m_savepointDepth; }

private:
    explicit SQLiteConnection(sqlite3* db)
        : m_db(db)
    {
    }
    void close() noexcept;

    sqlite3* m_db = nullptr;
    int m_savepointDepth = 0;
};

} // namespace morvane
