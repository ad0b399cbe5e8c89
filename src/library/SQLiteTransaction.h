#pragma once

#include <QString>

#include <type_traits>

namespace morvane {

class SQLiteConnection;

// Scope guard of a write transaction. Outside a transaction it runs BEGIN IMMEDIATE ... COMMIT;
// inside one it nests as a SAVEPOINT, so an operation that needs a transaction of its own can run
// inside a caller's. Leaving the scope without commit() rolls back (a failing rollback is ignored, so
// the first error is the one that reaches the caller); a failing commit() throws and rolls back too.
class SQLiteTransaction {
public:
    explicit SQLiteTransaction(SQLiteConnection& connection);
    SQLiteTransaction(const SQLiteTransaction&) = delete;
    SQLiteTransaction& operator=(const SQLiteTransaction&) = delete;
    ~SQLiteTransaction();

    void commit();
    bool isNested() const { return !m_savepoint.isEmpty(); }

private:
    void run(const QString& sql);

    SQLiteConnection& m_connection;
    QString m_savepoint; // empty for the outermost transaction
    int m_depth = 0;
    bool m_finished = false;
};

// Runs fn inside a transaction of the connection (nested as a savepoint when one is open) and commits
// it; an exception rolls back and propagates.
template <class F> decltype(auto) inTransaction(SQLiteConnection& connection, F&& fn)
{
    SQLiteTransaction transaction(connection);
    if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
        fn();
        transaction.commit();
    } else {
        decltype(auto) result = fn();
        transaction.commit();
        return result;
    }
}

} // namespace morvane
