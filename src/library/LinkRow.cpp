#include "LinkRow.h"

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "StoredIdMap.h"
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

// The type of a stored raw value, compared as the row's own UTF-8 text.
std::optional<LinkType> linkTypeOfStoredText(QByteArrayView text)
{
    static const QList<std::pair<QByteArray, LinkType>> rawValues = [] {
        QList<std::pair<QByteArray, LinkType>> values;
        for (const LinkType type : allLinkTypes())
            values.append({rawValue(type).toUtf8(), type});
        return values;
    }();
    for (const auto& [raw, type] : rawValues) {
        if (text == QByteArrayView(raw))
            return type;
    }
    return std::nullopt;
}
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

QString TextInterner::text(QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return QString::fromUtf8(utf8);
    for (const auto& [bytes, text] : std::as_const(m_texts)) {
        if (utf8 == QByteArrayView(bytes))
            return text;
    }
    QString text = QString::fromUtf8(utf8);
    if (m_texts.size() < capacity)
        m_texts.append({utf8.toByteArray(), text});
    return text;
}

bool decodeLinkRow(const SQLiteStatement& row, LinkItem& item, TextInterner* sourceApps)
{
    // The id, the type and the dates are read from the row's own UTF-8 text: a full read decodes every
    // row, and making a QString of each only to parse it would cost as much as the read.
    std::optional<QUuid> id = writtenUuid(row.utf8(idColumn));
    if (!id)
        id = parseUuid(row.text(idColumn));
    if (!id)
        return false;
    const std::optional<LinkType> type = linkTypeOfStoredText(row.utf8(typeColumn));
    if (!type)
        return false;
    const std::optional<QDateTime> createdAt = parseLibraryDate(row.utf8(createdAtColumn));
    const std::optional<QDateTime> updatedAt = parseLibraryDate(row.utf8(updatedAtColumn));
    if (!createdAt || !updatedAt)
        return false;

    item.id = *id;
    item.title = row.text(titleColumn);
    item.url = row.text(urlColumn);
    item.type = *type;
    item.sourceApp = sourceApps ? sourceApps->text(row.utf8(sourceAppColumn)) : row.text(sourceAppColumn);
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
    item.lastOpenedAt.reset();
    if (!row.isNull(lastOpenedAtColumn))
        item.lastOpenedAt = parseLibraryDate(row.utf8(lastOpenedAtColumn));
    return true;
}

QList<LinkItem> queryLinks(SQLiteConnection& connection, const QString& sql,
                           const QList<SQLiteValue>& parameters)
{
    SQLiteStatement statement = connection.statement(sql);
    statement.bind(parameters);
    QList<LinkItem> links;
    while (statement.step()) {
        if (!decodeLinkRow(statement, links.emplaceBack()))
            links.removeLast();
    }
    return links;
}

} // namespace morvane
