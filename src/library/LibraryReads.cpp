#include "LibraryReads.h"

#include "LinkRow.h"
#include "LinkSearchIndex.h"
#include "LinkTagsAndCounts.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "StoredIdMap.h"
#include "foundation/FreedMemory.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace morvane {

namespace {
// Asks for the pages of a very large block at once, as huge pages where the system has them to spare. A
// full read's list is tens of megabytes on a large library and comes fresh from the system every time:
// faulting it in page by page cost a tenth of the read. Blocks this large are mappings of their own,
// handed back to the system whole when freed, so the hints outlive nothing; they change nothing of the
// contents, and a system without them simply faults the pages in as they are written.
void populateLargeBlock(void* data, std::size_t bytes)
{
    constexpr std::size_t worthIt = std::size_t(32) << 20;
    if (bytes < worthIt)
        return;
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (end <= begin)
        return;
    void* const start = reinterpret_cast<void*>(begin);
#ifdef MADV_HUGEPAGE
    madvise(start, end - begin, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(start, end - begin, MADV_POPULATE_WRITE);
#endif
}

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

QList<LinkItem> LibraryReads::allLinks()
{
    // The rows come bare and LinkTagsAndCounts gives them their tags and relation counts. The links
    // statement takes its first step before the other reads run, so all of them read the same snapshot
    // of the library.
    SQLiteStatement rows = m_connection.statement(
        linkStoredColumnsSql() +
        QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC"));
    bool hasRow = rows.step();
    const qsizetype linkCount = this->linkCount();
    const LinkTagsAndCounts details = LinkTagsAndCounts::read(m_connection, linkCount);

    QList<LinkItem> links;
    // Growing the list a link at a time would move every item several times over.
    links.reserve(linkCount);
    populateLargeBlock(links.data(), std::size_t(links.capacity()) * sizeof(LinkItem));
    // Ids in the written form get their details in one pass after the rows (see LinkTagsAndCounts).
    std::vector<std::pair<qsizetype, StoredIdKey>> keys;
    keys.reserve(std::size_t(linkCount));
    TextInterner sourceApps;
    for (; hasRow; hasRow = rows.step()) {
        LinkItem& item = links.emplaceBack();
        const SQLiteRow row(rows);
        std::optional<StoredIdKey> key;
        if (!decodeStoredLinkColumns(row, item, &sourceApps, &key)) {
            links.removeLast();
            continue;
        }
        if (key)
            keys.emplace_back(links.size() - 1, *key);
        else
            details.fill(item, row.utf8(0));
    }
    details.fill(links, keys);
    return links;
}

QList<LinkItem> LibraryReads::linksOfType(LinkType type)
{
    return queryLinks(m_connection,
                      linkColumnsSql() +
                          QStringLiteral("FROM links WHERE links.type = ? ORDER BY links.updated_at "
                                         "ASC, links.title COLLATE NOCASE ASC"),
                      {rawValue(type)});
}

std::optional<LinkItem> LibraryReads::link(const QUuid& id)
{
    return firstLink(linkColumnsSql() + QStringLiteral("FROM links WHERE links.id = ? LIMIT 1"),
                     {uuidString(id)});
}

std::optional<LinkItem> LibraryReads::linkByURL(const QString& locator)
{
    const QString twin = locator.endsWith(u'/') ? locator.chopped(1) : locator + u'/';
    return firstLink(linkColumnsSql() +
                         QStringLiteral("FROM links WHERE links.url = ? OR links.url = ? LIMIT 1"),
                     {locator, twin});
}

QList<LinkItem> LibraryReads::searchLinks(const QString& query)
{
    const QString text = query.trimmed(); // white space and line breaks, Unicode ones too
    if (text.isEmpty())
        return queryLinks(m_connection, recentLinksSql());
    if (std::optional<QList<LinkItem>> found = m_searchIndex.search(text))
        return *std::move(found);
    return queryLinks(m_connection, searchLinksSql(), {u'%' + text + u'%'});
}

void LibraryReads::warmSearch()
{
    searchLinks(QStringLiteral("e\u00a0e"));
}

bool LibraryReads::prepareShortSearchStep()
{
    m_shortSearchWanted = true;
    if (!m_searchIndex.loadShortTextsStep())
        return false;
    // The first short searches also prepare their statements and read the tag names and the pages
    // they walk: a common letter and a rarer one take the roads there are.
    for (const char* text : {"e", "q"})
        searchLinks(QString::fromLatin1(text));
    return true;
}

bool LibraryReads::prepareShortTextsCopyStep()
{
    if (m_shortSearchWanted)
        return true;
    if (!m_searchIndex.makeShortTextsCopyStep())
        return false;
    releaseSearchMemory();
    return true;
}

void LibraryReads::releaseCachedPages()
{
    m_connection.releaseMemory();
}

void LibraryReads::releaseSearchMemory()
{
    m_shortSearchWanted = false;
    m_searchIndex.releaseShortTexts();
    m_connection.releaseMemory();
    // The allocator keeps what was freed for the thread's next allocations, and after a large block
    // was given back it serves the next ones of that size from its heaps rather than from the system:
    // without a trim, the texts read at the next show would stay resident after it too.
    releaseFreedMemory();
}

QList<LinkItem> LibraryReads::relatedLinks(const QUuid& id)
{
    const QString idText = uuidString(id);
    return queryLinks(
        m_connection,
        linkColumnsSql() +
            QStringLiteral("FROM links WHERE links.id IN (SELECT to_link_id FROM link_relations "
                           "WHERE from_link_id = ? UNION SELECT from_link_id FROM link_relations "
                           "WHERE to_link_id = ?) ORDER BY title COLLATE NOCASE ASC"),
        {idText, idText});
}

QList<LinkRelation> LibraryReads::allRelations()
{
    return queryRelations(m_connection, QStringLiteral("SELECT id, from_link_id, to_link_id, created_at FROM "
                                                       "link_relations ORDER BY created_at ASC"));
}

QList<LinkRelation> LibraryReads::relationsAfterRow(qint64 after, qsizetype count, qint64& lastRow)
{
    return queryRelations(m_connection,
                          QStringLiteral("SELECT id, from_link_id, to_link_id, created_at, rowid FROM "
                                         "link_relations WHERE rowid > ?1 ORDER BY rowid LIMIT ?2"),
                          {SQLiteValue::integer(after), SQLiteValue::integer(count)}, &lastRow);
}

QList<DeletedRecord> LibraryReads::allDeletedRecords()
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral(
        "SELECT record_type, record_name, deleted_at FROM deleted_records ORDER BY deleted_at ASC"));
    QList<DeletedRecord> records;
    while (statement.step()) {
        if (const std::optional<QDateTime> deletedAt = parseLibraryDate(statement.text(2)))
            records.append(DeletedRecord{statement.text(0), statement.text(1), *deletedAt});
    }
    return records;
}

bool LibraryReads::isTombstoned(const QString& recordType, const QString& recordName)
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral(
        "SELECT record_name FROM deleted_records WHERE record_type = ? AND record_name = ? LIMIT 1"));
    statement.bind({recordType, recordName});
    return statement.step() && !statement.isNull(0);
}

std::optional<QDateTime> LibraryReads::tombstoneDeletedAt(const QString& recordType,
                                                          const QString& recordName)
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral(
        "SELECT deleted_at FROM deleted_records WHERE record_type = ? AND record_name = ? LIMIT 1"));
    statement.bind({recordType, recordName});
    if (!statement.step())
        return std::nullopt;
    return parseLibraryDate(statement.text(0));
}

std::optional<QDateTime> LibraryReads::relationCreatedAt(const QString& recordName)
{
    const QStringList ends = recordName.split(u'_');
    if (ends.size() != 2)
        return std::nullopt;
    SQLiteStatement statement = m_connection.statement(
        QStringLiteral("SELECT created_at FROM link_relations WHERE (from_link_id = ? AND to_link_id = ?) "
                       "OR (from_link_id = ? AND to_link_id = ?) LIMIT 1"));
    statement.bind({ends[0], ends[1], ends[1], ends[0]});
    if (!statement.step())
        return std::nullopt;
    return parseLibraryDate(statement.text(0));
}

QStringList LibraryReads::relationRecordNames(const QUuid& id)
{
    const QString idText = uuidString(id);
    SQLiteStatement statement = m_connection.statement(QStringLiteral(
        "SELECT from_link_id, to_link_id FROM link_relations WHERE from_link_id = ? OR to_link_id = ?"));
    statement.bind({idText, idText});
    QStringList names;
    while (statement.step()) {
        const std::optional<QUuid> from = parseUuid(statement.text(0));
        const std::optional<QUuid> to = parseUuid(statement.text(1));
        if (from && to)
            names.append(LinkRelation::recordName(*from, *to));
    }
    return names;
}

std::optional<LinkItem> LibraryReads::firstLink(const QString& sql, const QList<SQLiteValue>& parameters)
{
    QList<LinkItem> links = queryLinks(m_connection, sql, parameters);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

bool LibraryReads::linkExists(const QString& idText)
{
    SQLiteStatement statement =
        m_connection.statement(QStringLiteral("SELECT 1 FROM links WHERE id = ? LIMIT 1"));
    statement.bind({idText});
    return statement.step();
}

qint64 LibraryReads::linkCount()
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral("SELECT count(*) FROM links"));
    return statement.step() ? statement.int64(0) : 0;
}

qint64 LibraryReads::relationCount()
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral("SELECT count(*) FROM link_relations"));
    return statement.step() ? statement.int64(0) : 0;
}

QSet<QUuid> LibraryReads::allLinkIDs()
{
    SQLiteStatement statement = m_connection.statement(QStringLiteral("SELECT id FROM links"));
    QSet<QUuid> ids;
    while (statement.step()) {
        if (const std::optional<QUuid> id = parseUuid(statement.text(0)))
            ids.insert(*id);
    }
    return ids;
}

QList<LinkItem> LibraryReads::linksAfterRow(qint64 after, qsizetype count, qint64& lastRow)
{
    // Keyed by row rather than counted off: a link written between two parts neither moves another
    // into a part already read nor out of the next. The rows come bare and get their tags and relation
    // counts together, as a search's page does.
    SQLiteStatement statement = m_connection.statement(
        linkStoredColumnsSql() +
        QStringLiteral(", links.rowid FROM links WHERE links.rowid > ?1 ORDER BY links.rowid LIMIT ?2"));
    statement.bind({SQLiteValue::integer(after), SQLiteValue::integer(count)});
    return LinkTagsAndCounts::queryFew(m_connection, m_searchIndex.tagNames(), statement, &lastRow);
}

QList<std::pair<QUuid, QString>> LibraryReads::relationRecordNamesByID()
{
    SQLiteStatement statement =
        m_connection.statement(QStringLiteral("SELECT id, from_link_id, to_link_id FROM link_relations"));
    QList<std::pair<QUuid, QString>> names;
    while (statement.step()) {
        const std::optional<QUuid> id = parseUuid(statement.text(0));
        const std::optional<QUuid> from = parseUuid(statement.text(1));
        const std::optional<QUuid> to = parseUuid(statement.text(2));
        if (id && from && to)
            names.append({*id, LinkRelation::recordName(*from, *to)});
    }
    return names;
}

} // namespace morvane
