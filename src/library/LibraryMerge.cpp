#include "LibraryMerge.h"

#include "LibraryChangeJournal.h"
#include "LibraryReads.h"
#include "LibrarySchema.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
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

void LibraryMerge::backfillFileFields(const LinkItem& remote, const LinkItem& local)
{
    const bool fillsSomething = (!local.contentHash && remote.contentHash) ||
                                (!local.fileSize && remote.fileSize) ||
                                (!local.lastKnownPath && remote.lastKnownPath);
    if (!fillsSomething)
        return;
    m_connection.execute(QStringLiteral("UPDATE links SET content_hash = COALESCE(content_hash, ?), "
                                        "file_size = COALESCE(file_size, ?), "
                                        "last_known_path = COALESCE(last_known_path, ?) WHERE id = ?"),
                         {SQLiteValue::text(remote.contentHash), SQLiteValue::integer(remote.fileSize),
                          SQLiteValue::text(remote.lastKnownPath), SQLiteValue::text(uuidString(remote.id))});
}

void LibraryMerge::deleteLinkRows(const QString& recordName)
{
    const std::optional<QUuid> id = parseUuid(recordName);
    if (!id)
        return;
    const QString idText = uuidString(*id);
    inTransaction(m_connection, [&] {
        m_connection.execute(
            QStringLiteral("DELETE FROM link_relations WHERE from_link_id = ? OR to_link_id = ?"),
            {idText, idText});
        m_connection.execute(QStringLiteral("DELETE FROM links WHERE id = ?"), {idText});
    });
}

void LibraryMerge::applyRemoteLink(const LinkItem& remote, bool winsEqualTime)
{
    const QString idText = uuidString(remote.id);
    // The row and its tags go together: a failure while the tags are written must not leave the remote
    // update time on a row whose tags were lost.
    inTransaction(m_connection, [&] {
        if (m_reads.isTombstoned(linkRecordType, idText))
            return;
        if (const std::optional<LinkItem> local = m_reads.link(remote.id);
            local && (local->updatedAt > remote.updatedAt ||
                      (local->updatedAt == remote.updatedAt && !winsEqualTime))) {
            backfillFileFields(remote, *local);
            return;
        }
        m_connection.execute(
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
        m_connection.execute(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"), {idText});
        m_writes.replaceTags(remote.tags, remote.id);
    });
}

void LibraryMerge::applyRemoteDeletion(const DeletedRecord& record)
{
    if (record.recordType != linkRecordType && record.recordType != relationRecordType)
        return;
    inTransaction(m_connection, [&] {
        // A relation made again after this deletion outlives it.
        if (record.recordType == relationRecordType) {
            const std::optional<QDateTime> createdAt = m_reads.relationCreatedAt(record.recordName);
            if (createdAt && *createdAt > record.deletedAt)
                return;
        }
        m_writes.upsertTombstone(record.recordType, record.recordName, record.deletedAt);
        if (record.recordType == linkRecordType)
            deleteLinkRows(record.recordName);
        else
            m_writes.deleteRelation(record.recordName);
    });
}

void LibraryMerge::applyRemoteRelation(const LinkRelation& relation)
{
    if (relation.fromLinkID == relation.toLinkID)
        return;
    // A relation made after the pair's deletion clears that deletion: the pair was related again.
    const QString recordName = LinkRelation::recordName(relation.fromLinkID, relation.toLinkID);
    if (const std::optional<QDateTime> deletedAt =
            m_reads.tombstoneDeletedAt(relationRecordType, recordName)) {
        if (relation.createdAt <= *deletedAt)
            return;
        m_connection.execute(
            QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"),
            {relationRecordType, recordName});
    }
    QString from = uuidString(relation.fromLinkID);
    QString to = uuidString(relation.toLinkID);
    if (to < from)
        std::swap(from, to);
    // A relation can arrive before (or without) one of its items; the foreign key would refuse it and
    // stop the whole pull, so it simply waits for a later pass that brings both ends.
    if (!m_reads.linkExists(from) || !m_reads.linkExists(to))
        return;
    m_connection.execute(
        QStringLiteral("INSERT OR IGNORE INTO link_relations (id, from_link_id, to_link_id, created_at) "
                       "VALUES (?, ?, ?, ?)"),
        {uuidString(relation.id), from, to, libraryDateString(relation.createdAt)});
}

void LibraryMerge::writeImportedLink(const LinkItem& item, LibraryWrites::TagIds& tagIds)
{
    const QString idText = uuidString(item.id);
    m_connection.execute(
        QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"),
        {linkRecordType, idText});
    m_connection.execute(
        insertLinkRecord +
            QStringLiteral("ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                           "type = excluded.type, source_app = excluded.source_app, "
                           "notes = excluded.notes, last_known_path = excluded.last_known_path, "
                           "content_hash = excluded.content_hash, file_size = excluded.file_size, "
                           "created_at = excluded.created_at, updated_at = excluded.updated_at, "
                           "last_opened_at = excluded.last_opened_at"),
        linkRecordValues(item));
    m_connection.execute(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"), {idText});
    m_writes.writeTags(item.tags, idText, &tagIds);
}

QStringList LibraryMerge::dropLinkIndexes()
{
    // The key's own index stays: the import finds existing links by it.
    QStringList names;
    QStringList statements;
    {
        SQLiteStatement indexes = m_connection.statement(
            QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'links' "
                           "AND sql IS NOT NULL"));
        while (indexes.step()) {
            names.append(indexes.text(0));
            statements.append(indexes.text(1));
        }
    }
    for (const QString& name : names)
        m_connection.execute(QStringLiteral("DROP INDEX \"") + name + u'"');
    return statements;
}

void LibraryMerge::importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations)
{
    // One transaction and no savepoint per link: any failure rolls the whole import back anyway. The
    // tag ids are looked up once for the import, since a backup reuses a few tags across every link.
    inTransaction(m_connection, [&] {
        // An import can bring in most of a library at once: the statistics follow once it stays.
        m_connection.runAfterCommit([this] { LibrarySchema::refreshStatistics(m_connection); });
        // Indexing the whole library again costs less than following a quarter of it row by row: the
        // search index, and the links' own indexes, which sort every row at once when they are made.
        const bool reindex = links.size() * 4 >= m_reads.linkCount();
        const bool searchIndexed = reindex && m_reads.searchIndex().suspend();
        LibraryChangeJournal journal(m_connection);
        const bool journaled = reindex && journal.suspend();
        const QStringList linkIndexes = reindex ? dropLinkIndexes() : QStringList();
        LibraryWrites::TagIds tagIds;
        for (const LinkItem& item : links)
            writeImportedLink(item, tagIds);
        for (const QString& index : linkIndexes)
            m_connection.execute(index);
        if (searchIndexed)
            m_reads.searchIndex().resume();
        for (const LinkRelation& relation : relations) {
            if (relation.fromLinkID == relation.toLinkID)
                continue;
            QString from = uuidString(relation.fromLinkID);
            QString to = uuidString(relation.toLinkID);
            if (to < from)
                std::swap(from, to);
            m_connection.execute(
                QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"),
                {relationRecordType, LinkRelation::recordName(relation.fromLinkID, relation.toLinkID)});
            m_connection.execute(
                QStringLiteral("INSERT INTO link_relations (id, from_link_id, to_link_id, created_at) "
                               "VALUES (?, ?, ?, ?) ON CONFLICT(from_link_id, to_link_id) DO UPDATE SET "
                               "created_at = excluded.created_at"),
                {uuidString(relation.id), from, to, libraryDateString(relation.createdAt)});
        }
        if (journaled)
            journal.resume();
    });
}

void LibraryMerge::eraseAll()
{
    inTransaction(m_connection, [&] {
        // The index is emptied at once rather than row by row.
        const bool indexed = m_reads.searchIndex().suspend();
        LibraryChangeJournal journal(m_connection);
        const bool journaled = journal.suspend();
        m_connection.execute(QStringLiteral("DELETE FROM link_tags"));
        m_connection.execute(QStringLiteral("DELETE FROM link_relations"));
        m_connection.execute(QStringLiteral("DELETE FROM link_local_resolutions"));
        // Made again on the empty table, the links' indexes cost nothing, where deleting every row from
        // each of them would cost as much as the rows themselves.
        const QStringList linkIndexes = dropLinkIndexes();
        m_connection.execute(QStringLiteral("DELETE FROM links"));
        for (const QString& index : linkIndexes)
            m_connection.execute(index);
        m_connection.execute(QStringLiteral("DELETE FROM tags"));
        m_connection.execute(QStringLiteral("DELETE FROM deleted_records"));
        if (indexed)
            m_reads.searchIndex().resume();
        if (journaled)
            journal.resume();
        // Inside a caller's transaction the erase is only done once that commits.
        m_connection.runAfterCommit(
            [] { qCInfo(lcSQLiteStore) << "Erased all local Morvane database rows"; });
    });
}

} // namespace morvane
