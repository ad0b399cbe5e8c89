#include "LibrarySchema.h"

#include "LibraryChangeJournal.h"
#include "LibrarySyncPoint.h"
#include "LinkSearchIndex.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"

#include <QList>
#include <QLoggingCategory>
#include <QString>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

namespace {

struct Column {
    QString name;
    QString declaration;
};

// The nine columns the first version of the library had.
QString linksTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS links ("
                          "id TEXT PRIMARY KEY, "
                          "title TEXT NOT NULL, "
                          "url TEXT NOT NULL, "
                          "type TEXT NOT NULL, "
                          "source_app TEXT NOT NULL DEFAULT '', "
                          "notes TEXT NOT NULL DEFAULT '', "
                          "created_at TEXT NOT NULL, "
                          "updated_at TEXT NOT NULL, "
                          "last_opened_at TEXT)");
}

// Added to links later, in this order.
const QList<Column>& fileColumns()
{
    static const QList<Column> columns = {
        {QStringLiteral("bookmark_data"), QStringLiteral("BLOB")},
        {QStringLiteral("file_resource_identifier"), QStringLiteral("TEXT")},
        {QStringLiteral("volume_identifier"), QStringLiteral("TEXT")},
        {QStringLiteral("last_known_path"), QStringLiteral("TEXT")},
        {QStringLiteral("content_hash"), QStringLiteral("TEXT")},
        {QStringLiteral("file_size"), QStringLiteral("INTEGER")},
    };
    return columns;
}

const QList<QString>& otherTables()
{
    static const QList<QString> tables = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS link_relations ("
                       "id TEXT PRIMARY KEY, "
                       "from_link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE, "
                       "to_link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE, "
                       "created_at TEXT NOT NULL, "
                       "UNIQUE(from_link_id, to_link_id))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS link_local_resolutions ("
                       "link_id TEXT PRIMARY KEY REFERENCES links(id) ON DELETE CASCADE, "
                       "bookmark_data BLOB NOT NULL, "
                       "file_resource_identifier TEXT, "
                       "volume_identifier TEXT, "
                       "local_path TEXT NOT NULL, "
                       "content_hash TEXT, "
                       "file_size INTEGER, "
                       "confirmed_by_user INTEGER NOT NULL DEFAULT 0, "
                       "last_verified_at TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS deleted_records ("
                       "record_type TEXT NOT NULL, "
                       "record_name TEXT NOT NULL, "
                       "deleted_at TEXT NOT NULL, "
                       "PRIMARY KEY (record_type, record_name))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS tags ("
                       "id TEXT PRIMARY KEY, "
                       "name TEXT NOT NULL UNIQUE COLLATE NOCASE)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS link_tags ("
                       "link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE, "
                       "tag_id TEXT NOT NULL REFERENCES tags(id) ON DELETE CASCADE, "
                       "PRIMARY KEY (link_id, tag_id))"),
    };
    return tables;
}

const QList<QString>& indexes()
{
    static const QList<QString> statements = {
        QStringLiteral("CREATE INDEX IF NOT EXISTS links_search_idx ON links(title, url, type, notes)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS links_url_idx ON links(url)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS links_file_identity_idx ON links(file_resource_identifier, "
            "volume_identifier)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS links_content_hash_idx ON links(content_hash, file_size)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS local_resolution_file_identity_idx ON "
                       "link_local_resolutions(file_resource_identifier, volume_identifier)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS local_resolution_content_hash_idx ON "
                       "link_local_resolutions(content_hash, file_size)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS relation_from_idx ON link_relations(from_link_id)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS relation_to_idx ON link_relations(to_link_id)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS deleted_records_deleted_at_idx ON deleted_records(deleted_at)"),
        // Tag search finds the links of matching tags without visiting every link's tags.
        QStringLiteral("CREATE INDEX IF NOT EXISTS link_tags_tag_idx ON link_tags(tag_id, link_id)"),
    };
    return statements;
}

void addColumnIfMissing(SQLiteConnection& connection, const QString& table, const Column& column)
{
    {
        SQLiteStatement info = connection.statement(QStringLiteral("PRAGMA table_info(") + table + u')');
        while (info.step()) {
            // SQLite column names are case-insensitive: "File_Size" already is file_size.
            if (info.text(1).compare(column.name, Qt::CaseInsensitive) == 0)
                return;
        }
    }
    connection.execute(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD COLUMN ") + column.name +
                       u' ' + column.declaration);
}

// Commits without a disk sync of their own while it lives, and with full syncs again after.
class SynchronousUntilSealed {
public:
    explicit SynchronousUntilSealed(SQLiteConnection& connection)
        : m_connection(connection)
    {
        m_connection.execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
    }
    ~SynchronousUntilSealed()
    {
        try {
            m_connection.execute(QStringLiteral("PRAGMA synchronous = FULL"));
        } catch (const StoreError& error) {
            // A destructor may not throw; the connection keeps fewer syncs until it closes.
            qCWarning(lcSQLiteStore) << "Could not restore full disk syncs:" << error.message();
        }
    }
    SynchronousUntilSealed(const SynchronousUntilSealed&) = delete;
    SynchronousUntilSealed& operator=(const SynchronousUntilSealed&) = delete;

private:
    SQLiteConnection& m_connection;
};

// Asks for the write-ahead log; true when the library now keeps one.
bool enterWriteAheadLog(SQLiteConnection& connection)
{
    SQLiteStatement statement = connection.statement(QStringLiteral("PRAGMA journal_mode = WAL"));
    return statement.step() && statement.text(0).compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0;
}

// Every table, column and index, each step in a transaction of its own.
void migrateSteps(SQLiteConnection& connection, const LinkSearchSeal::FileState& opened)
{
    // One commit for the whole schema: a new library is made at the cost of one write to the disk, not
    // one for each table and index, and a library is never left with part of them.
    inTransaction(connection, [&] {
        connection.execute(linksTable());
        for (const Column& column : fileColumns())
            addColumnIfMissing(connection, QStringLiteral("links"), column);
        for (const QString& table : otherTables())
            connection.execute(table);
        for (const QString& index : indexes())
            connection.execute(index);
        LibrarySyncPoint::migrate(connection);
        LinkSearchTexts::migrate(connection);
    });
    LinkSearchIndex::migrate(connection, opened);
    LibraryChangeJournal::migrate(connection);
}

} // namespace

void LibrarySchema::migrate(SQLiteConnection& connection)
{
    const LinkSearchSeal::FileState opened = LinkSearchSeal::current(connection);
    connection.execute(QStringLiteral("PRAGMA foreign_keys = ON"));
    if (enterWriteAheadLog(connection)) {
        // The steps below are transactions of their own that need not reach the disk one by one (a
        // first start made a dozen disk syncs here, slow on a busy disk): with the write-ahead log, a
        // commit that a crash loses leaves the library whole, as it was before that step, and the next
        // start runs the step again. The seal's commit, with full syncs again, takes them to the disk.
        const SynchronousUntilSealed quick(connection);
        migrateSteps(connection, opened);
    } else {
        // A file system that refuses the write-ahead log leaves the rollback journal, under which a
        // step committed with fewer syncs could be torn by a crash: every step keeps full syncs.
        migrateSteps(connection, opened);
    }
    // Last, so that the seal vouches for the schema every step above left.
    inTransaction(connection, [&] { LinkSearchSeal::take(connection); });
}

void LibrarySchema::refreshStatistics(SQLiteConnection& connection) noexcept
{
    // The searches are written to need no statistics, but what SQLite plans by itself (lookups, the
    // link queries of other callers) does better with them, and a library never gets any otherwise.
    // PRAGMA optimize analyzes only the tables this connection's queries could have planned better
    // with fresh figures, and the analysis limit keeps that to a sample of each index, so closing a
    // large library does not wait on a full scan.
    try {
        // The first analysis makes the statistics table: the search index's seal follows that change,
        // and only when nothing else changed the file's tables meanwhile.
        const bool sealed = LinkSearchSeal::holds(connection, LinkSearchSeal::current(connection));
        connection.execute(QStringLiteral("PRAGMA analysis_limit = 1000"));
        connection.execute(QStringLiteral("PRAGMA optimize"));
        if (sealed && !LinkSearchSeal::holds(connection, LinkSearchSeal::current(connection)))
            inTransaction(connection, [&] { LinkSearchSeal::take(connection); });
    } catch (const StoreError& error) {
        qCWarning(lcSQLiteStore) << "Could not refresh the library's statistics:" << error.message();
    }
}

} // namespace morvane
