#include "LibraryMerge.h"

#include "LibraryChangeJournal.h"
#include "LibraryReads.h"
#include "LibrarySchema.h"
#include "LinkRow.h"
#include "LinkSearchIndex.h"
#include "LinkSearchSeal.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>

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

QList<SQLiteValue> linkRecordValues(const LinkItem& item, const QString& idText)
{
    return {SQLiteValue::text(idText),
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

// A remote link over the stored row: the row keeps its creation time, and the file fields and the last
// opening it has.
const QString mergeLinkRecord =
    insertLinkRecord +
    QStringLiteral("ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                   "type = excluded.type, source_app = excluded.source_app, notes = excluded.notes, "
                   "last_known_path = COALESCE(links.last_known_path, excluded.last_known_path), "
                   "content_hash = COALESCE(links.content_hash, excluded.content_hash), "
                   "file_size = COALESCE(links.file_size, excluded.file_size), "
                   "created_at = links.created_at, updated_at = excluded.updated_at, "
                   "last_opened_at = COALESCE(links.last_opened_at, excluded.last_opened_at)");

const QString linkTombstoneSql = QStringLiteral(
    "SELECT record_name FROM deleted_records WHERE record_type = ? AND record_name = ? LIMIT 1");

// Resets a statement kept across a loop when the scope ends, however it ends: one left stepped keeps its
// read open, and one left bound keeps the previous row's values.
class ResetAfter {
public:
    explicit ResetAfter(SQLiteStatement& statement)
        : m_statement(statement)
    {
    }
    ~ResetAfter() { m_statement.reset(); }
    ResetAfter(const ResetAfter&) = delete;
    ResetAfter& operator=(const ResetAfter&) = delete;

private:
    SQLiteStatement& m_statement;
};

// The tables an import writes, whose indexes it may make again at its end.
const QStringList importedTables = {QStringLiteral("links"), QStringLiteral("link_tags"),
                                    QStringLiteral("link_relations")};
// The tables a fill writes row by row; the relations come after it, with their indexes in place.
const QStringList filledTables = {QStringLiteral("links"), QStringLiteral("link_tags")};

bool anyRow(SQLiteConnection& connection, const QString& sql, const QList<SQLiteValue>& values)
{
    SQLiteStatement statement = connection.statement(QStringLiteral("SELECT EXISTS (") + sql + u')');
    statement.bind(values);
    return statement.step() && statement.int64(0) != 0;
}

// One run of a statement the caller keeps prepared across a loop.
void run(SQLiteStatement& statement, const QList<SQLiteValue>& values)
{
    statement.bind(values);
    statement.step();
    statement.reset();
}
} // namespace

struct LibraryMerge::RemoteLinks::Statements {
    SQLiteStatement tombstone;
    SQLiteStatement stored;
    SQLiteStatement upsert;
    SQLiteStatement clearTags;
    SQLiteStatement tag;
};

LibraryMerge::RemoteLinks::RemoteLinks(LibraryMerge& merge, bool eachUndoable)
    : m_merge(merge)
    , m_eachUndoable(eachUndoable)
{
    SQLiteConnection& connection = merge.m_connection;
    if (merge.m_remoteTagIdsAt != connection.changeStamp())
        merge.m_remoteTagIds.clear();
    merge.m_remoteTagIdsAt.reset();
    // A library where no link was ever deleted, as a new one joining others, skips a lookup per link.
    m_tombstones = anyRow(connection, QStringLiteral("SELECT 1 FROM deleted_records WHERE record_type = ?"),
                          {linkRecordType});
    m_statements.reset(new Statements{
        connection.statement(linkTombstoneSql),
        connection.statement(linkStoredColumnsSql() +
                             QStringLiteral("FROM links WHERE links.id = ? LIMIT 1")),
        connection.statement(mergeLinkRecord),
        connection.statement(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?")),
        connection.statement(
            QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)")),
    });
}

LibraryMerge::RemoteLinks::~RemoteLinks() = default;

void LibraryMerge::RemoteLinks::committed()
{
    m_merge.m_remoteTagIdsAt = m_merge.m_connection.changeStamp();
}

void LibraryMerge::RemoteLinks::apply(const LinkItem& remote, bool winsEqualTime)
{
    Statements& statements = *m_statements;
    const QString idText = uuidString(remote.id);
    try {
        // The row and its tags go together: a failure while the tags are written must not leave the
        // remote update time on a row whose tags were lost.
        const auto writeLink = [&] {
            if (m_tombstones) {
                const ResetAfter reset(statements.tombstone);
                statements.tombstone.bindText(1, linkRecordType);
                statements.tombstone.bindText(2, idText);
                if (statements.tombstone.step() && !statements.tombstone.isNull(0))
                    return;
            }
            // A stored row that does not read back is overwritten as if the link were new, but its tags
            // are still cleared.
            bool stored = false;
            bool readable = false;
            {
                const ResetAfter reset(statements.stored);
                statements.stored.bindText(1, idText);
                if (statements.stored.step()) {
                    stored = true;
                    readable = decodeStoredLinkColumns(SQLiteRow(statements.stored), m_local);
                }
            }
            if (readable && (m_local.updatedAt > remote.updatedAt ||
                             (m_local.updatedAt == remote.updatedAt && !winsEqualTime))) {
                m_merge.backfillFileFields(remote, m_local);
                return;
            }
            write(remote, idText, stored);
        };
        if (m_eachUndoable)
            inTransaction(m_merge.m_connection, writeLink);
        else
            writeLink();
    } catch (...) {
        // Tags made in the savepoint just undone are gone with it.
        m_merge.m_remoteTagIds.clear();
        throw;
    }
}

void LibraryMerge::RemoteLinks::write(const LinkItem& remote, const QString& idText, bool stored)
{
    Statements& statements = *m_statements;
    {
        SQLiteStatement& upsert = statements.upsert;
        const ResetAfter reset(upsert);
        upsert.bindText(1, idText);
        upsert.bindText(2, remote.title);
        upsert.bindText(3, remote.url);
        upsert.bindText(4, rawValue(remote.type));
        upsert.bindText(5, remote.sourceApp);
        upsert.bindText(6, remote.notes);
        upsert.bindText(7, remote.lastKnownPath);
        upsert.bindText(8, remote.contentHash);
        upsert.bindInteger(9, remote.fileSize);
        upsert.bindText(10, libraryDateString(remote.createdAt));
        upsert.bindText(11, libraryDateString(remote.updatedAt));
        upsert.bindText(12, optionalDateText(remote.lastOpenedAt));
        upsert.step();
    }
    // A link new to the library has no tags to clear.
    if (stored) {
        const ResetAfter reset(statements.clearTags);
        statements.clearTags.bindText(1, idText);
        statements.clearTags.step();
    }
    for (const QString& tagId : m_merge.m_writes.tagIds(remote.tags, &m_merge.m_remoteTagIds)) {
        const ResetAfter reset(statements.tag);
        statements.tag.bind({idText, tagId});
        statements.tag.step();
    }
}

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
    // The check for deleted links belongs to the same transaction as the link's writes.
    inTransaction(m_connection, [&] { RemoteLinks(*this).apply(remote, winsEqualTime); });
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

void LibraryMerge::importLinks(const QList<LinkItem>& links)
{
    // What only a library that already had rows can hold: a replace finds these tables emptied and skips
    // a lookup per link.
    const bool tombstones =
        anyRow(m_connection, QStringLiteral("SELECT 1 FROM deleted_records WHERE record_type = ?"),
               {linkRecordType});
    const bool tagged = anyRow(m_connection, QStringLiteral("SELECT 1 FROM link_tags"), {});
    SQLiteStatement clearTombstone = m_connection.statement(
        QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"));
    SQLiteStatement upsert = m_connection.statement(
        insertLinkRecord +
        QStringLiteral("ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                       "type = excluded.type, source_app = excluded.source_app, "
                       "notes = excluded.notes, last_known_path = excluded.last_known_path, "
                       "content_hash = excluded.content_hash, file_size = excluded.file_size, "
                       "created_at = excluded.created_at, updated_at = excluded.updated_at, "
                       "last_opened_at = excluded.last_opened_at"));
    SQLiteStatement clearTags =
        m_connection.statement(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"));
    SQLiteStatement tag = m_connection.statement(
        QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)"));
    // The tag ids are looked up once for the import, since a backup reuses a few tags across every link.
    LibraryWrites::TagIds tagIds;
    // A link the backup names twice keeps the tags of its last record, as one already in the library
    // keeps only the backup's.
    QSet<QUuid> written;
    if (!tagged)
        written.reserve(links.size());
    for (const LinkItem& item : links) {
        const QString idText = uuidString(item.id);
        if (tombstones)
            run(clearTombstone, {linkRecordType, idText});
        run(upsert, linkRecordValues(item, idText));
        bool mayHaveTags = tagged;
        if (!tagged) {
            const qsizetype before = written.size();
            written.insert(item.id);
            mayHaveTags = written.size() == before;
        }
        if (mayHaveTags)
            run(clearTags, {idText});
        for (const QString& tagId : m_writes.tagIds(item.tags, &tagIds))
            run(tag, {idText, tagId});
    }
}

void LibraryMerge::importRelations(const QList<LinkRelation>& relations)
{
    const bool tombstones =
        anyRow(m_connection, QStringLiteral("SELECT 1 FROM deleted_records WHERE record_type = ?"),
               {relationRecordType});
    SQLiteStatement clearTombstone = m_connection.statement(
        QStringLiteral("DELETE FROM deleted_records WHERE record_type = ? AND record_name = ?"));
    SQLiteStatement upsert = m_connection.statement(QStringLiteral(
        "INSERT INTO link_relations (id, from_link_id, to_link_id, created_at) VALUES (?, ?, ?, ?) "
        "ON CONFLICT(from_link_id, to_link_id) DO UPDATE SET created_at = excluded.created_at"));
    for (const LinkRelation& relation : relations) {
        if (relation.fromLinkID == relation.toLinkID)
            continue;
        QString from = uuidString(relation.fromLinkID);
        QString to = uuidString(relation.toLinkID);
        if (to < from)
            std::swap(from, to);
        if (tombstones) {
            run(clearTombstone,
                {relationRecordType, LinkRelation::recordName(relation.fromLinkID, relation.toLinkID)});
        }
        run(upsert, {uuidString(relation.id), from, to, libraryDateString(relation.createdAt)});
    }
}

QStringList LibraryMerge::dropIndexes(const QStringList& tables)
{
    // Only indexes made by a statement: those of a key or a unique constraint stay, and the import finds
    // existing rows by them.
    QStringList names;
    QStringList statements;
    for (const QString& table : tables) {
        SQLiteStatement indexes = m_connection.statement(
            QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
                           "AND sql IS NOT NULL"));
        indexes.bind({table});
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
    // One transaction and no savepoint per link: any failure rolls the whole import back anyway.
    inTransaction(m_connection, [&] {
        // An import can bring in most of a library at once: the statistics follow once it stays.
        m_connection.runAfterCommit([this] { LibrarySchema::refreshStatistics(m_connection); });
        // Indexing the whole library again costs less than following a quarter of it row by row: the
        // search index, and the other indexes of the links, their tags and relations, which sort every
        // row at once when they are made, where rows written in the backup's order land at random
        // places in indexes keyed by ids.
        const bool reindex = links.size() * 4 >= m_reads.linkCount();
        const bool searchIndexed = reindex && m_searchIndex.suspend();
        LibraryChangeJournal journal(m_connection);
        const bool journaled = reindex && journal.suspend();
        const QStringList indexes = reindex ? dropIndexes(importedTables) : QStringList();
        importLinks(links);
        if (searchIndexed)
            m_searchIndex.resume();
        importRelations(relations);
        for (const QString& index : indexes)
            m_connection.execute(index);
        if (journaled)
            journal.resume();
        // The indexes made again moved the schema in our hands, and the search index was made again from
        // every row: it may trust its rowids at the next open.
        if (searchIndexed)
            LinkSearchSeal::take(m_connection);
    });
}

std::optional<QStringList> LibraryMerge::startFilling()
{
    return inTransaction(m_connection, [&]() -> std::optional<QStringList> {
        if (anyRow(m_connection, QStringLiteral("SELECT 1 FROM links"), {}))
            return std::nullopt;
        // Empty already: suspending only marks it as indexing no row, which the triggers respect.
        if (m_searchIndex.suspend())
            m_connection.runAfterCommit([this] { m_searchIndex.holdBuild(true); });
        return dropIndexes(filledTables);
    });
}

void LibraryMerge::finishFilling(const QStringList& indexes)
{
    static const QRegularExpression createIndex(QStringLiteral("^CREATE (UNIQUE )?INDEX "));
    m_searchIndex.holdBuild(false);
    inTransaction(m_connection, [&] {
        // Before the indexes: the index reads the rows in the order of a scan, which an index covering
        // their texts would make the titles' order, and rows that come out of rowid order make it write
        // a segment for each.
        m_searchIndex.resume();
        for (QString index : indexes) {
            // One made meanwhile (the search's title order, by its build) stays as it is.
            const QRegularExpressionMatch match = createIndex.match(index);
            if (match.hasMatch())
                index.insert(match.capturedEnd(), QStringLiteral("IF NOT EXISTS "));
            m_connection.execute(index);
        }
        // The indexes changed the schema in our hands: the search index, made again from every row, may
        // trust its rowids.
        LinkSearchSeal::take(m_connection);
    });
}

void LibraryMerge::eraseAll()
{
    inTransaction(m_connection, [&] {
        // The index is emptied at once rather than row by row.
        const bool indexed = m_searchIndex.suspend();
        LibraryChangeJournal journal(m_connection);
        const bool journaled = journal.suspend();
        // Made again on the empty tables, their indexes cost nothing, where deleting every row from each
        // of them would cost as much as the rows themselves.
        const QStringList indexes = dropIndexes(importedTables);
        m_connection.execute(QStringLiteral("DELETE FROM link_tags"));
        m_connection.execute(QStringLiteral("DELETE FROM link_relations"));
        m_connection.execute(QStringLiteral("DELETE FROM link_local_resolutions"));
        m_connection.execute(QStringLiteral("DELETE FROM links"));
        for (const QString& index : indexes)
            m_connection.execute(index);
        m_connection.execute(QStringLiteral("DELETE FROM tags"));
        m_connection.execute(QStringLiteral("DELETE FROM deleted_records"));
        if (indexed)
            m_searchIndex.resume();
        if (journaled)
            journal.resume();
        if (indexed)
            LinkSearchSeal::take(m_connection); // as after an import that indexes every row again
        // Inside a caller's transaction the erase is only done once that commits; then the copy of the
        // links' texts beside the library goes too, so that nothing erased stays on the disk in it.
        m_connection.runAfterCommit([this] {
            m_searchIndex.discardShortTexts();
            qCInfo(lcSQLiteStore) << "Erased all local Morvane database rows";
        });
    });
}

} // namespace morvane
