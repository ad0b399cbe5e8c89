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
    m_depth = connection.enterSavepoint();
    m_savepoint = QStringLiteral("morvane_savepoint_%1").arg(m_depth);
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
        m_connection.transactionEnded(m_depth, false);
    }
    if (isNested())
        m_connection.leaveSavepoint();
}

void SQLiteTransaction::commit()
{
    run(isNested() ? QStringLiteral("RELEASE ") + m_savepoint : QStringLiteral("COMMIT"));
    m_finished = true;
    m_connection.transactionEnded(m_depth, true);
}

void SQLiteTransaction::run(const QString& sql)
{
    SQLiteStatement statement = m_connection.statement(sql);
    statement.step();
}

} // namespace morvane
