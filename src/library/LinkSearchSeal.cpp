#include "LinkSearchSeal.h"

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

#include <QRandomGenerator>

#include <limits>

namespace morvane {

namespace {

const QString sealTable = QStringLiteral("link_search_seal");

qint64 pragmaValue(SQLiteConnection& connection, const QString& name)
{
    SQLiteStatement statement = connection.statement(QStringLiteral("PRAGMA ") + name);
    return statement.step() ? statement.int64(0) : 0;
}

bool sealTableExists(SQLiteConnection& connection)
{
    SQLiteStatement statement = connection.statement(
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1"));
    statement.bind({sealTable});
    return statement.step();
}

} // namespace

LinkSearchSeal::FileState LinkSearchSeal::current(SQLiteConnection& connection)
{
    return FileState{pragmaValue(connection, QStringLiteral("schema_version")),
                     pragmaValue(connection, QStringLiteral("user_version"))};
}

bool LinkSearchSeal::holds(SQLiteConnection& connection, const FileState& state)
{
    if (state.mark == 0 || !sealTableExists(connection))
        return false;
    SQLiteStatement statement =
        connection.statement(QStringLiteral("SELECT schema_version, mark FROM ") + sealTable);
    return statement.step() && FileState{statement.int64(0), statement.int64(1)} == state;
}

void LinkSearchSeal::take(SQLiteConnection& connection)
{
    if (holds(connection, current(connection)))
        return; // nothing to write at a start that changed nothing
    // Made first: creating it advances the cookie the seal records.
    connection.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS ") + sealTable +
                       QStringLiteral(" (schema_version INTEGER NOT NULL, mark INTEGER NOT NULL)"));
    qint64 mark = pragmaValue(connection, QStringLiteral("user_version"));
    if (mark == 0) {
        mark = QRandomGenerator::global()->bounded(1, std::numeric_limits<qint32>::max());
        // A pragma takes no bound value; the number is ours.
        connection.execute(QStringLiteral("PRAGMA user_version = ") + QString::number(mark));
    }
    connection.execute(QStringLiteral("DELETE FROM ") + sealTable);
    connection.execute(QStringLiteral("INSERT INTO ") + sealTable + QStringLiteral(" VALUES (?1, ?2)"),
                       {SQLiteValue::integer(pragmaValue(connection, QStringLiteral("schema_version"))),
                        SQLiteValue::integer(mark)});
}

} // namespace morvane
