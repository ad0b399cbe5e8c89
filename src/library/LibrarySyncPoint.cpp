#include "LibrarySyncPoint.h"

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"

namespace morvane {

void LibrarySyncPoint::migrate(SQLiteConnection& connection)
{
    connection.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS sync_point (only INTEGER PRIMARY KEY CHECK "
                                      "(only = 1), place BLOB NOT NULL, journal_through INTEGER NOT NULL, "
                                      "schema_version INTEGER NOT NULL)"));
    connection.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS sync_records (name TEXT PRIMARY KEY, "
                                      "version BLOB NOT NULL, kept BLOB NOT NULL) WITHOUT ROWID"));
}

std::optional<LibrarySyncPoint::Point> LibrarySyncPoint::point()
{
    SQLiteStatement statement = m_connection.statement(
        QStringLiteral("SELECT place, journal_through, schema_version FROM sync_point WHERE only = 1"));
    if (!statement.step())
        return std::nullopt;
    return Point{statement.blob(0).value_or(QByteArray()), statement.int64(1), statement.int64(2)};
}

QList<LibrarySyncPoint::Record> LibrarySyncPoint::records()
{
    QList<Record> result;
    SQLiteStatement statement =
        m_connection.statement(QStringLiteral("SELECT name, version, kept FROM sync_records"));
    while (statement.step())
        result.append({statement.text(0), statement.blob(1).value_or(QByteArray()),
                       statement.blob(2).value_or(QByteArray())});
    return result;
}

void LibrarySyncPoint::eachRecord(
    const std::function<void(QByteArrayView name, QByteArrayView version, QByteArrayView kept)>& record)
{
    {
        SQLiteStatement statement = m_connection.statement(
            QStringLiteral("SELECT name, version, kept FROM sync_records ORDER BY name"));
        while (statement.step())
            record(statement.bytes(0), statement.bytes(1), statement.bytes(2));
    }
    m_connection.releaseMemory();
}

void LibrarySyncPoint::keep(const Point& point, const QList<Record>& records, const QStringList& removed,
                            bool everything)
{
    const RecordWalk walk = [&records](const RecordTaker& take) {
        for (const Record& record : records)
            take(record);
    };
    keep(point, walk, removed, everything);
}

void LibrarySyncPoint::keep(const Point& point, const RecordWalk& records, const QStringList& removed,
                            bool everything)
{
    inTransaction(m_connection, [&] {
        if (everything)
            m_connection.execute(QStringLiteral("DELETE FROM sync_records"));
        {
            SQLiteStatement remove =
                m_connection.statement(QStringLiteral("DELETE FROM sync_records WHERE name = ?1"));
            for (const QString& name : removed) {
                remove.bind({name});
                remove.step();
                remove.reset();
            }
        }
        {
            SQLiteStatement insert = m_connection.statement(QStringLiteral(
                "INSERT OR REPLACE INTO sync_records (name, version, kept) VALUES (?1, ?2, ?3)"));
            records([&insert](const Record& record) {
                insert.bind({record.name, SQLiteValue::blob(record.version), SQLiteValue::blob(record.kept)});
                insert.step();
                insert.reset();
            });
        }
        m_connection.execute(
            QStringLiteral("INSERT OR REPLACE INTO sync_point (only, place, journal_through, "
                           "schema_version) VALUES (1, ?1, ?2, ?3)"),
            {SQLiteValue::blob(point.place), SQLiteValue::integer(point.journalThrough),
             SQLiteValue::integer(point.schemaVersion)});
    });
}

void LibrarySyncPoint::forget()
{
    inTransaction(m_connection, [&] {
        m_connection.execute(QStringLiteral("DELETE FROM sync_point"));
        m_connection.execute(QStringLiteral("DELETE FROM sync_records"));
    });
}

} // namespace morvane
