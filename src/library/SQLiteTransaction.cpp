#include "SQLiteTransaction.h"

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

namespace morvane {

SQLiteTransaction::SQLiteTransaction(SQLiteConnection& connection)
    : m_connection(connection)
{
    if (!connection.inTransaction()) {
        run(QStringLiteral("BEGIN IMMEDIATE"));
        return;
    }
    const int depth = connection.enterSavepoint();
    m_savepoint = QStringLiteral("morvane_savepoint_%1").arg(depth);
    try {
        run(QStringLiteral("SAVEPOINT ") + m_savepoint);
    } catch (...) {
        connection.leaveSavepoint();
        throw;
    }
}

SQLiteTransaction::~SQLiteTransaction()
{
    if (!m_finished) {
        try {
            if (isNested()) {
                run(QStringLiteral("ROLLBACK TO ") + m_savepoint);
                run(QStringLiteral("RELEASE ") + m_savepoint);
            } else {
                run(QStringLiteral("ROLLBACK"));
            }
        } catch (...) {
            // The error that caused the rollback is the one worth reporting.
        }
    }
    if (isNested())
        m_connection.leaveSavepoint();
}

void SQLiteTransaction::commit()
{
    run(isNested() ? QStringLiteral("RELEASE ") + m_savepoint : QStringLiteral("COMMIT"));
    m_finished = true;
}

void SQLiteTransaction::run(const QString& sql)
{
    SQLiteStatement statement(m_connection.handle(), sql);
    statement.step();
}

} // namespace morvane
