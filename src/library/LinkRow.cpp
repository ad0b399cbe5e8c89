#include "LinkRow.h"

#include "SQLiteStatement.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {
enum Column {
    idColumn,
    titleColumn,
    urlColumn,
    typeColumn,
    sourceAppColumn,
    notesColumn,
    createdAtColumn,
    updatedAtColumn,
    lastOpenedAtColumn,
    bookmarkColumn,
    resourceIdColumn,
    volumeIdColumn,
    lastKnownPathColumn,
    contentHashColumn,
    fileSizeColumn,
    tagNamesColumn,
    linkedCountColumn,
};

// Tag names may hold any printable character, commas included; the unit separator cannot be typed.
constexpr QChar tagSeparator(0x1F);
} // namespace

const QString& linkColumnsSql()
{
    static const QString sql = QStringLiteral(
        "SELECT links.id, links.title, links.url, links.type, links.source_app, links.notes, "
        "links.created_at, links.updated_at, links.last_opened_at, links.bookmark_data, "
        "links.file_resource_identifier, links.volume_identifier, links.last_known_path, "
        "links.content_hash, links.file_size, "
        "COALESCE((SELECT GROUP_CONCAT(ordered_tags.name, char(31)) FROM "
        "(SELECT tags.name AS name FROM link_tags INNER JOIN tags ON tags.id = link_tags.tag_id "
        "WHERE link_tags.link_id = links.id ORDER BY tags.name COLLATE NOCASE ASC) AS ordered_tags), '') "
        "AS tag_names, "
        "(SELECT COUNT(*) FROM link_relations WHERE link_relations.from_link_id = links.id "
        "OR link_relations.to_link_id = links.id) AS linked_count ");
    return sql;
}

const QString& linkColumnsWithoutRelationsSql()
{
    static const QString sql =
        QStringLiteral("SELECT links.id, links.title, links.url, links.type, links.source_app, links.notes, "
                       "links.created_at, links.updated_at, links.last_opened_at, links.bookmark_data, "
                       "links.file_resource_identifier, links.volume_identifier, links.last_known_path, "
                       "links.content_hash, links.file_size, '' AS tag_names, 0 AS linked_count ");
    return sql;
}

QStringList splitTagNames(const QString& tagNames)
{
    if (tagNames.isEmpty())
        return {};
    return tagNames.split(tagSeparator, Qt::SkipEmptyParts);
}

std::optional<LinkItem> decodeLinkRow(const SQLiteStatement& row)
{
    const std::optional<QUuid> id = parseUuid(row.text(idColumn));
    if (!id)
        return std::nullopt;
    const std::optional<LinkType> type = linkTypeFromRawValue(row.text(typeColumn));
    if (!type)
        return std::nullopt;
    const std::optional<QDateTime> createdAt = parseLibraryDate(row.text(createdAtColumn));
    const std::optional<QDateTime> updatedAt = parseLibraryDate(row.text(updatedAtColumn));
    if (!createdAt || !updatedAt)
        return std::nullopt;

    LinkItem item;
    item.id = *id;
    item.title = row.text(titleColumn);
    item.url = row.text(urlColumn);
    item.type = *type;
    item.sourceApp = row.text(sourceAppColumn);
    item.notes = row.text(notesColumn);
    item.tags = splitTagNames(row.text(tagNamesColumn));
    item.linkedItemCount = int(row.int64(linkedCountColumn));
    item.bookmarkData = row.blob(bookmarkColumn);
    if (item.bookmarkData && item.bookmarkData->isEmpty())
        item.bookmarkData.reset();
    item.fileResourceIdentifier = row.optionalText(resourceIdColumn);
    item.volumeIdentifier = row.optionalText(volumeIdColumn);
    item.lastKnownPath = row.optionalText(lastKnownPathColumn);
    item.contentHash = row.optionalText(contentHashColumn);
    item.fileSize = row.optionalInt64(fileSizeColumn);
    item.createdAt = *createdAt;
    item.updatedAt = *updatedAt;
    if (!row.isNull(lastOpenedAtColumn))
        item.lastOpenedAt = parseLibraryDate(row.text(lastOpenedAtColumn));
    return item;
}

} // namespace morvane
