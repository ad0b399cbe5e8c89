// The reads of the library: link queries, lookups, the search and the relation and tombstone lists.
#include "LinkRow.h"
#include "LinkTagsAndCounts.h"
#include "SQLiteStore.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {
// The page is chosen on the bare rows first and only its 200 links get their tag and relation columns:
// computing them for every candidate the sort then drops is what made a search slow. Ties fall back to
// the row order, which is the order a plain scan of the table meets them in.
QString pagedQuery(const QString& pageSelection, const QString& order)
{
    return linkColumnsSql() + QStringLiteral("FROM links WHERE links.rowid IN (") + pageSelection +
           QStringLiteral(") ORDER BY ") + order;
}

const QString& recentLinksSql()
{
    static const QString sql = pagedQuery(
        QStringLiteral(
            "SELECT candidate.rowid FROM links AS candidate ORDER BY COALESCE(candidate.last_opened_at, "
            "candidate.updated_at) DESC, candidate.title COLLATE NOCASE ASC, candidate.rowid ASC LIMIT 200"),
        QStringLiteral(
            "COALESCE(links.last_opened_at, links.updated_at) DESC, links.title COLLATE NOCASE ASC, "
            "links.rowid ASC"));
    return sql;
}

// Links that match in their own columns, then links that match only through a tag name: probing the
// tag matches once per link would cost as much as the whole scan. The tags are read first and their
// links found through link_tags_tag_idx; CROSS JOIN keeps that order, which SQLite does not choose by
// itself on a library without statistics (it scans every link_tags row and seeks each one's tag).
const QString& searchLinksSql()
{
    static const QString ownColumnsMatch =
        QStringLiteral("candidate.title LIKE ?1 OR candidate.url LIKE ?1 OR candidate.type LIKE ?1 OR "
                       "candidate.notes LIKE ?1");
    static const QString sql = pagedQuery(
        QStringLiteral(
            "SELECT page.rid FROM ("
            "SELECT candidate.rowid AS rid, CASE WHEN candidate.title LIKE ?1 THEN 0 ELSE 1 END AS rank, "
            "candidate.title AS title FROM links AS candidate WHERE %1 "
            "UNION ALL "
            "SELECT candidate.rowid, 1, candidate.title FROM links AS candidate WHERE candidate.id IN "
            "(SELECT link_tags.link_id FROM tags CROSS JOIN link_tags ON link_tags.tag_id = tags.id "
            "WHERE tags.name LIKE ?1) AND NOT (%1)"
            ") AS page ORDER BY page.rank, page.title COLLATE NOCASE ASC, page.rid ASC LIMIT 200")
            .arg(ownColumnsMatch),
        QStringLiteral("CASE WHEN links.title LIKE ?1 THEN 0 ELSE 1 END, links.title COLLATE NOCASE ASC, "
                       "links.rowid ASC"));
    return sql;
}

} // namespace

QList<LinkItem> SQLiteStore::allLinks()
{
    // The rows come bare and LinkTagsAndCounts gives them their tags and relation counts. The links
    // statement takes its first step before the other reads run, so all of them read the same snapshot
    // of the library.
    SQLiteStatement rows =
        prepare(linkColumnsWithoutRelationsSql() +
                QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC"));
    bool hasRow = rows.step();
    qsizetype linkCount = 0;
    {
        SQLiteStatement count = prepare(QStringLiteral("SELECT COUNT(*) FROM links"));
        if (count.step())
            linkCount = count.int64(0);
    }
    const LinkTagsAndCounts details = LinkTagsAndCounts::read(*this, linkCount);

    QList<LinkItem> links;
    // Growing the list a link at a time would move every item several times over.
    links.reserve(linkCount);
    for (; hasRow; hasRow = rows.step()) {
        LinkItem& item = links.emplaceBack();
        if (decodeLinkRow(rows, item))
            details.fill(item, rows.utf8(0));
        else
            links.removeLast();
    }
    return links;
}

std::optional<LinkItem> SQLiteStore::link(const QUuid& id)
{
    return firstLink(linkColumnsSql() + QStringLiteral("FROM links WHERE links.id = ? LIMIT 1"),
                     {SQLiteValue::text(uuidString(id))});
}

std::optional<LinkItem> SQLiteStore::linkByURL(const QString& locator)
{
    const QString twin = locator.endsWith(u'/') ? locator.chopped(1) : locator + u'/';
    return firstLink(linkColumnsSql() +
                         QStringLiteral("FROM links WHERE links.url = ? OR links.url = ? LIMIT 1"),
                     {SQLiteValue::text(locator), SQLiteValue::text(twin)});
}

QList<LinkItem> SQLiteStore::linksByFileIdentity(const QString& resourceIdentifier,
                                                 const QString& volumeIdentifier)
{
    return queryLinks(linkColumnsSql() +
                          QStringLiteral("FROM links WHERE links.file_resource_identifier = ? AND "
                                         "links.volume_identifier = ? ORDER BY links.updated_at ASC, "
                                         "links.title ASC, links.id ASC"),
                      QStringList{resourceIdentifier, volumeIdentifier});
}

std::optional<LinkItem> SQLiteStore::linkByFileIdentity(const QString& resourceIdentifier,
                                                        const QString& volumeIdentifier)
{
    QList<LinkItem> links = linksByFileIdentity(resourceIdentifier, volumeIdentifier);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

QList<LinkItem> SQLiteStore::linksByContentHash(const QString& contentHash, qint64 fileSize)
{
    return queryLinks(
        linkColumnsSql() +
            QStringLiteral("FROM links WHERE links.content_hash = ? AND "
                           "links.file_size = CAST(? AS INTEGER) ORDER BY links.updated_at ASC, "
                           "links.title ASC, links.id ASC"),
        QStringList{contentHash, QString::number(fileSize)});
}

std::optional<LinkItem> SQLiteStore::linkByContentHash(const QString& contentHash, qint64 fileSize)
{
    QList<LinkItem> links = linksByContentHash(contentHash, fileSize);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

std::optional<LinkItem> SQLiteStore::linkByLocalResolution(const FileIdentity& identity)
{
    if (identity.fileResourceIdentifier && identity.volumeIdentifier) {
        const QList<LinkItem> links = queryLinks(
            linkColumnsSql() + QStringLiteral("FROM links WHERE links.id IN (SELECT link_id FROM "
                                              "link_local_resolutions WHERE file_resource_identifier = ? AND "
                                              "volume_identifier = ?) LIMIT 2"),
            QStringList{*identity.fileResourceIdentifier, *identity.volumeIdentifier});
        if (links.size() == 1)
            return links.first();
    }
    if (identity.contentHash && identity.fileSize) {
        const QList<LinkItem> links =
            queryLinks(linkColumnsSql() + QStringLiteral("FROM links WHERE links.id IN (SELECT link_id FROM "
                                                         "link_local_resolutions WHERE content_hash = ? AND "
                                                         "file_size = CAST(? AS INTEGER)) LIMIT 2"),
                       QStringList{*identity.contentHash, QString::number(*identity.fileSize)});
        if (links.size() == 1)
            return links.first();
    }
    return std::nullopt;
}

QList<LinkItem> SQLiteStore::searchLinks(const QString& query)
{
    const QString text = query.trimmed(); // white space and line breaks, Unicode ones too
    if (text.isEmpty())
        return queryLinks(recentLinksSql());
    return queryLinks(searchLinksSql(), QStringList{u'%' + text + u'%'});
}

QList<LinkItem> SQLiteStore::relatedLinks(const QUuid& id)
{
    const QString idText = uuidString(id);
    return queryLinks(
        linkColumnsSql() +
            QStringLiteral("FROM links WHERE links.id IN (SELECT to_link_id FROM link_relations "
                           "WHERE from_link_id = ? UNION SELECT from_link_id FROM link_relations "
                           "WHERE to_link_id = ?) ORDER BY title COLLATE NOCASE ASC"),
        QStringList{idText, idText});
}

QList<LinkRelation> SQLiteStore::allRelations()
{
    SQLiteStatement statement = prepare(QStringLiteral(
        "SELECT id, from_link_id, to_link_id, created_at FROM link_relations ORDER BY created_at ASC"));
    QList<LinkRelation> relations;
    while (statement.step()) {
        const std::optional<QUuid> id = parseUuid(statement.text(0));
        const std::optional<QUuid> from = parseUuid(statement.text(1));
        const std::optional<QUuid> to = parseUuid(statement.text(2));
        const std::optional<QDateTime> createdAt = parseLibraryDate(statement.text(3));
        if (id && from && to && createdAt)
            relations.append(LinkRelation{*id, *from, *to, *createdAt});
    }
    return relations;
}

QList<DeletedRecord> SQLiteStore::allDeletedRecords()
{
    SQLiteStatement statement = prepare(QStringLiteral(
        "SELECT record_type, record_name, deleted_at FROM deleted_records ORDER BY deleted_at ASC"));
    QList<DeletedRecord> records;
    while (statement.step()) {
        if (const std::optional<QDateTime> deletedAt = parseLibraryDate(statement.text(2)))
            records.append(DeletedRecord{statement.text(0), statement.text(1), *deletedAt});
    }
    return records;
}

bool SQLiteStore::isTombstoned(const QString& recordType, const QString& recordName)
{
    SQLiteStatement statement = prepare(QStringLiteral(
        "SELECT record_name FROM deleted_records WHERE record_type = ? AND record_name = ? LIMIT 1"));
    statement.bindTexts({recordType, recordName});
    return statement.step() && !statement.isNull(0);
}

QStringList SQLiteStore::relationRecordNames(const QUuid& id)
{
    const QString idText = uuidString(id);
    SQLiteStatement statement = prepare(QStringLiteral(
        "SELECT from_link_id, to_link_id FROM link_relations WHERE from_link_id = ? OR to_link_id = ?"));
    statement.bindTexts({idText, idText});
    QStringList names;
    while (statement.step()) {
        const std::optional<QUuid> from = parseUuid(statement.text(0));
        const std::optional<QUuid> to = parseUuid(statement.text(1));
        if (from && to)
            names.append(LinkRelation::recordName(*from, *to));
    }
    return names;
}

std::optional<FileIdentity> SQLiteStore::localResolution(const QUuid& id)
{
    SQLiteStatement statement =
        prepare(QStringLiteral("SELECT bookmark_data, file_resource_identifier, volume_identifier, "
                               "local_path, content_hash, file_size "
                               "FROM link_local_resolutions WHERE link_id = ? LIMIT 1"));
    statement.bindTexts({uuidString(id)});
    if (!statement.step())
        return std::nullopt;
    const std::optional<QByteArray> bookmark = statement.blob(0);
    if (!bookmark || bookmark->isEmpty())
        return std::nullopt;
    FileIdentity identity;
    identity.bookmarkData = *bookmark;
    identity.fileResourceIdentifier = statement.optionalText(1);
    identity.volumeIdentifier = statement.optionalText(2);
    identity.lastKnownPath = statement.text(3);
    identity.contentHash = statement.optionalText(4);
    identity.fileSize = statement.optionalInt64(5);
    return identity;
}

} // namespace morvane
