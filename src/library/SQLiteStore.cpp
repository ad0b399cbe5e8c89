#include "SQLiteStore.h"

#include "LibrarySchema.h"
#include "LinkRow.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcSQLiteStore, "SQLiteStore")

namespace {
QString resolveDatabasePath(const std::optional<QString>& given)
{
    if (given)
        return *given;
    const QString folder = dataDirectory();
    if (!ensurePrivateDirectory(folder)) {
        qCWarning(lcSQLiteStore) << "Could not create the library folder" << privateValue(folder);
        throw Error(genericOperationText(QStringLiteral("Could not create the folder ") + folder));
    }
    return SQLiteStore::defaultDatabasePath();
}
} // namespace

SQLiteStore::SQLiteStore(const std::optional<QString>& databasePath, std::shared_ptr<const Clock> clock)
    : m_databasePath(resolveDatabasePath(databasePath))
    , m_connection(SQLiteConnection::open(m_databasePath))
    , m_clock(std::move(clock))
{
    migrate();
}

SQLiteStore::~SQLiteStore()
{
    refreshStatistics();
}

void SQLiteStore::refreshStatistics() noexcept
{
    // The searches are written to need no statistics, but what SQLite plans by itself (lookups, the
    // link queries of other callers) does better with them, and a library never gets any otherwise.
    // PRAGMA optimize analyzes only the tables this connection's queries could have planned better
    // with fresh figures, and the analysis limit keeps that to a sample of each index, so closing a
    // large library does not wait on a full scan.
    try {
        execute(QStringLiteral("PRAGMA analysis_limit = 1000"));
        execute(QStringLiteral("PRAGMA optimize"));
    } catch (const StoreError& error) {
        qCWarning(lcSQLiteStore) << "Could not refresh the library's statistics:" << error.message();
    }
}

QString SQLiteStore::defaultDatabasePath()
{
    return dataDirectory() + QStringLiteral("/Morvane.sqlite");
}

void SQLiteStore::migrate()
{
    execute(QStringLiteral("PRAGMA foreign_keys = ON"));
    execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    execute(LibrarySchema::linksTable());
    for (const LibrarySchema::Column& column : LibrarySchema::fileColumns())
        addColumnIfMissing(QStringLiteral("links"), column.name, column.declaration);
    for (const QString& table : LibrarySchema::otherTables())
        execute(table);
    for (const QString& index : LibrarySchema::indexes())
        execute(index);
}

void SQLiteStore::addColumnIfMissing(const QString& table, const QString& column, const QString& declaredType)
{
    {
        SQLiteStatement info = prepare(QStringLiteral("PRAGMA table_info(") + table + u')');
        while (info.step()) {
            // SQLite column names are case-insensitive: "File_Size" already is file_size.
            if (info.text(1).compare(column, Qt::CaseInsensitive) == 0)
                return;
        }
    }
    execute(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD COLUMN ") + column + u' ' +
            declaredType);
}

SQLiteStatement SQLiteStore::prepare(const QString& sql)
{
    return m_connection.statement(sql);
}

void SQLiteStore::executeValues(const QString& sql, const QList<SQLiteValue>& values)
{
    SQLiteStatement statement = prepare(sql);
    statement.bind(values);
    statement.step();
}

void SQLiteStore::execute(const QString& sql, const QList<std::optional<QString>>& parameters)
{
    QList<SQLiteValue> values;
    values.reserve(parameters.size());
    for (const std::optional<QString>& parameter : parameters)
        values.append(SQLiteValue::text(parameter));
    executeValues(sql, values);
}

QList<LinkItem> SQLiteStore::queryLinks(const QString& sql, const QList<SQLiteValue>& parameters)
{
    SQLiteStatement statement = prepare(sql);
    statement.bind(parameters);
    QList<LinkItem> links;
    while (statement.step()) {
        if (!decodeLinkRow(statement, links.emplaceBack()))
            links.removeLast();
    }
    return links;
}

QList<LinkItem> SQLiteStore::queryLinks(const QString& sql, const QStringList& parameters)
{
    QList<SQLiteValue> values;
    values.reserve(parameters.size());
    for (const QString& parameter : parameters)
        values.append(SQLiteValue::text(parameter));
    return queryLinks(sql, values);
}

std::optional<LinkItem> SQLiteStore::firstLink(const QString& sql, const QList<SQLiteValue>& parameters)
{
    QList<LinkItem> links = queryLinks(sql, parameters);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

} // namespace morvane
