#include "LibrarySchema.h"

namespace morvane {

QString LibrarySchema::linksTable()
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

const QList<LibrarySchema::Column>& LibrarySchema::fileColumns()
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

const QList<QString>& LibrarySchema::otherTables()
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

const QList<QString>& LibrarySchema::indexes()
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

} // namespace morvane
