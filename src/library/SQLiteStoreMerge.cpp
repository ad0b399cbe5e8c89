// The writes of records that come from elsewhere: the sync pull, a backup import, the erase.
#include "SQLiteStore.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QLoggingCategory>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

namespace {
const QString linkRecordType = QStringLiteral("Link");
const QString relationRecordType = QStringLiteral("LinkRelation");

std::optional<QString> optionalDateText(const std::optional<QDateTime>& date)
{
    if (!date)
        return std::nullopt;
    return libraryDateString(*date);
}

QList<SQLiteValue> linkRecordValues(const LinkItem& item)
{
    return {SQLiteValue::text(uuidString(item.id)),
            SQLiteValue::text(item.title),
            SQLiteValue::text(item.url),
            SQLiteValue::text(rawValue(item.type)),
            SQLiteValue::text(item.sourceApp),
            SQLiteValue::text(item.notes),
            SQLiteValue::text(item.lastKnownPath),
            SQLiteValue::text(item.contentHash),
            SQLiteValue::integer(item.fileSize),
            SQLiteValue::text(libraryDateString(item.createdAt)),
            SQLiteValue::text(libraryDateString(item.updatedAt)),
            SQLiteValue::text(optionalDateText(item.lastOpenedAt))};
}

const QString insertLinkRecord = QStringLiteral(
    "INSERT INTO links (id, title, url, type, source_app, notes, last_known_path, content_hash, file_size, "
    "created_at, updated_at, last_opened_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ");
} // namespace

void SQLiteStore::backfillFileFields(const LinkItem& remote, const LinkItem& local)
{
    const bool fillsSomething = (!local.contentHash && remote.contentHash) ||
                                (!local.fileSize && remote.fileSize) ||
                                (!local.lastKnownPath && remote.lastKnownPath);
    if (!fillsSomething)
        return;
    executeValues(QStringLiteral("UPDATE links SET content_hash = COALESCE(content_hash, ?), "
                                 "file_size = COALESCE(file_size, ?), "
                                 "last_known_path = COALESCE(last_known_path, ?) WHERE id = ?"),
                  {SQLiteValue::text(remote.contentHash), SQLiteValue::integer(remote.fileSize),
                   SQLiteValue::text(remote.lastKnownPath), SQLiteValue::text(uuidString(remote.id))});
}

void SQLiteStore::deleteLinkRows(const QString& recordName)
{
    const std::optional<QUuid> id = parseUuid(recordName);
    if (!id)
        return;
    const QString idText = uuidString(*id);
    inTransaction([&] {
        execute(QStringLiteral("DELETE FROM link_relations WHERE from_link_id = ? OR to_link_id = ?"),
                {idText, idText});
        execute(QStringLiteral("DELETE FROM links WHERE id = ?"), {idText});
    });
}

void SQLiteStore::applyRemoteLink(const LinkItem& remote)
{
    const QString idText = uuidString(remote.id);
    // The row and its tags go together: a failure while the tags are written must not leave the remote
    // update time on a row whose tags were lost.
    inTransaction([&] {
        if (isTombstoned(linkRecordType, idText))
            return;
        if (const std::optional<LinkItem> local = link(remote.id);
            local && local->updatedAt >= remote.updatedAt) {
            backfillFileFields(remote, *local);
            return;
        }
        executeValues(
            insertLinkRecord +
                QStringLiteral("ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                               "type = excluded.type, source_app = excluded.source_app, "
                               "notes = excluded.notes, "
                               "last_known_path = COALESCE(links.last_known_path, excluded.last_known_path), "
                               "content_hash = COALESCE(links.content_hash, excluded.content_hash), "
                               "file_size = COALESCE(links.file_size, excluded.file_size), "
                               "created_at = links.created_at, updated_at = excluded.updated_at, "
                               "last_opened_at = COALESCE(links.last_opened_at, excluded.last_opened_at)"),
            linkRecordValues(remote));
        execute(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"), {idText});
        replaceTags(remote.tags, remote.id);
    });
}

void SQLiteStore::applyRemoteDeletion(const DeletedRecord& record)
{
    if (record.recordType != linkRecordType && record.recordType != relationRecordType)
        return;
    inTransaction([&] {
        upsertTombstone(record.recordType, record.recordName, record.deletedAt);
        if (record.recordType == linkRecordType)
            deleteLinkRows(record.recordName);
        else
            deleteRelation(record.recordName);
    });
}

bool SQLiteStore::linkExists(const QString& idText)
{
    SQLiteStatement statement = prepare(QStringLiteral("SELECT 1 FROM links WHERE id = ? LIMIT 1"));
    statement.bindTexts({idText});
    return statement.step();
}

void SQLiteStore::applyRemoteRelation(const LinkRelation& relation)
{
    if (relation.fromLinkID == relation.toLinkID)
        return;
    if (isTombstoned(relationRecordType, LinkRelation::recordName(relation.fromLinkID, relation.toLinkID)))
        return;
    QString from = uuidString(relation.fromLinkID);
    QString to = uuidString(relation.toLinkID);
    if (to < from)
        std::swap(from, to);
    // A relation can arrive before (or without) one of its items; the foreign key would refuse it and
    // stop the whole pull, so it simply waits for a later pass that brings both ends.
    if (!linkExists(from) || !linkExists(to))
        return;
    execute(QStringLiteral("INSERT OR IGNORE INTO link_relations (id, from_link_id, to_link_id, created_at) "
                           "VALUES (?, ?, ?, ?)"),
            {uuidString(relation.id), from, to, libraryDateString(relation.createdAt)});
}

void SQLiteStore::writeImportedLink(const LinkItem& item, TagIds& tagIds)
{
    const QString idText = uuidString(item.id);
    execute(QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"),
            {linkRecordType, idText});
    executeValues(
        insertLinkRecord +
            QStringLiteral("ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                           "type = excluded.type, source_app = excluded.source_app, "
                           "notes = excluded.notes, last_known_path = excluded.last_known_path, "
                           "content_hash = excluded.content_hash, file_size = excluded.file_size, "
                           "created_at = excluded.created_at, updated_at = excluded.updated_at, "
                           "last_opened_at = excluded.last_opened_at"),
        linkRecordValues(item));
    execute(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"), {idText});
    writeTags(item.tags, idText, &tagIds);
}

void SQLiteStore::importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations)
{
    // One transaction and no savepoint per link: any failure rolls the whole import back anyway. The
    // tag ids are looked up once for the import, since a backup reuses a few tags across every link.
    inTransaction([&] {
        // An import can bring in most of a library at once: the statistics follow once it stays.
        m_connection.runAfterCommit([this] { refreshStatistics(); });
        TagIds tagIds;
        for (const LinkItem& item : links)
            writeImportedLink(item, tagIds);
        for (const LinkRelation& relation : relations) {
            if (relation.fromLinkID == relation.toLinkID)
                continue;
            QString from = uuidString(relation.fromLinkID);
            QString to = uuidString(relation.toLinkID);
            if (to < from)
                std::swap(from, to);
            execute(QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"),
                    {relationRecordType, LinkRelation::recordName(relation.fromLinkID, relation.toLinkID)});
            execute(QStringLiteral("INSERT INTO link_relations (id, from_link_id, to_link_id, created_at) "
                                   "VALUES (?, ?, ?, ?) ON CONFLICT(from_link_id, to_link_id) DO UPDATE SET "
                                   "created_at = excluded.created_at"),
                    {uuidString(relation.id), from, to, libraryDateString(relation.createdAt)});
        }
    });
}

void SQLiteStore::eraseAll()
{
    inTransaction([&] {
        execute(QStringLiteral("DELETE FROM link_tags"));
        execute(QStringLiteral("DELETE FROM link_relations"));
        execute(QStringLiteral("DELETE FROM link_local_resolutions"));
        execute(QStringLiteral("DELETE FROM links"));
        execute(QStringLiteral("DELETE FROM tags"));
        execute(QStringLiteral("DELETE FROM deleted_records"));
        // Inside a caller's transaction the erase is only done once that commits.
        m_connection.runAfterCommit(
            [] { qCInfo(lcSQLiteStore) << "Erased all local Morvane database rows"; });
    });
}

} // namespace morvane
