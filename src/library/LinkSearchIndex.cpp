#include "LinkSearchIndex.h"

#include "LinkRow.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <limits>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

namespace {

constexpr qint64 everyRow = std::numeric_limits<qint64>::max();
// Rows indexed per build step: a step holds the store thread for a few tens of milliseconds.
constexpr int buildBatch = 4000;
// Up to this many candidate rows are read and sorted directly; a text that more rows may contain is
// listed by walking the titles in order, which finds its page long before the end.
constexpr qsizetype sortedCandidateLimit = 2000;
// A subset of a long text's trigrams narrows as well as all of them, and keeps the query small.
constexpr qsizetype trigramLimit = 16;

const QString titleOrderIndex = QStringLiteral("links_title_nocase_idx");

// detail=none keeps the index to about the size of the texts: the trigrams only pick candidates, the
// LIKE decides, so neither positions nor columns are needed.
const QString createIndexTable = QStringLiteral(
    "CREATE VIRTUAL TABLE IF NOT EXISTS link_search USING fts5(title, url, type, notes, content='links', "
    "content_rowid='rowid', tokenize='trigram', detail=none, columnsize=0)");

const QList<QString>& triggers()
{
    static const QString indexed =
        QStringLiteral("rowid <= (SELECT indexed_through FROM link_search_progress)");
    static const QString insertNew =
        QStringLiteral("INSERT INTO link_search(rowid, title, url, type, notes) "
                       "VALUES (new.rowid, new.title, new.url, new.type, new.notes);");
    static const QString deleteOld =
        QStringLiteral("INSERT INTO link_search(link_search, rowid, title, url, type, notes) "
                       "VALUES ('delete', old.rowid, old.title, old.url, old.type, old.notes);");
    static const QList<QString> statements = {
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS link_search_insert AFTER INSERT ON links WHEN new.") +
            indexed + QStringLiteral(" BEGIN ") + insertNew + QStringLiteral(" END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS link_search_delete AFTER DELETE ON links WHEN old.") +
            indexed + QStringLiteral(" BEGIN ") + deleteOld + QStringLiteral(" END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS link_search_update AFTER UPDATE OF title, url, type, "
                       "notes ON links WHEN old.") +
            indexed + QStringLiteral(" BEGIN ") + deleteOld + u' ' + insertNew + QStringLiteral(" END"),
    };
    return statements;
}

bool exists(SQLiteConnection& connection, const QString& name)
{
    SQLiteStatement statement =
        connection.statement(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?1"));
    statement.bind({name});
    return statement.step();
}

void createTitleOrder(SQLiteConnection& connection)
{
    connection.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS ") + titleOrderIndex +
                       QStringLiteral(" ON links(title COLLATE NOCASE)"));
}

// The file was rebuilt, or its tables redefined, out of our hands since the index was last known to
// describe it: the rowids it holds may name other rows now. It is emptied and built again in steps,
// searches reading every row meanwhile.
void forgetRowids(SQLiteConnection& connection)
{
    SQLiteStatement progress =
        connection.statement(QStringLiteral("SELECT indexed_through FROM link_search_progress"));
    if (!progress.step() || progress.int64(0) == 0)
        return;
    qCInfo(lcSQLiteStore) << "The library was rewritten by another program; rebuilding its search index";
    connection.execute(QStringLiteral("INSERT INTO link_search(link_search) VALUES ('delete-all')"));
    connection.execute(QStringLiteral("UPDATE link_search_progress SET indexed_through = 0"));
}

QString quoted(const QList<uint>& codes, qsizetype from, qsizetype count)
{
    QString term = QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()) + from, count);
    term.replace(u'"', QStringLiteral("\"\""));
    return u'"' + term + u'"';
}

// The trigram query every row matching the LIKE pattern '%' + text + '%' satisfies: the trigrams of
// each run of at least three characters between the pattern's wildcards (empty when no run is that
// long). The index folds case beyond ASCII, so it keeps every row LIKE keeps. Nothing when the text
// holds what SQLite's LIKE reads differently from its characters (a NUL ends its pattern; an unpaired
// surrogate is no character).
std::optional<QString> trigramQuery(const QString& text)
{
    const QList<uint> codes = text.toUcs4();
    if (codes.contains(0u) ||
        QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()), codes.size()) != text)
        return std::nullopt;
    QStringList terms;
    QSet<QString> seen;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= codes.size(); ++i) {
        if (i < codes.size() && codes[i] != uint(u'%') && codes[i] != uint(u'_'))
            continue;
        for (qsizetype start = runStart; start + 3 <= i; ++start) {
            QString term = quoted(codes, start, 3);
            if (!seen.contains(term)) {
                seen.insert(term);
                terms.append(std::move(term));
            }
        }
        runStart = i + 1;
    }
    if (terms.size() > trigramLimit) {
        QStringList spread;
        for (qsizetype k = 0; k < trigramLimit; ++k)
            spread.append(terms[k * (terms.size() - 1) / (trigramLimit - 1)]);
        terms = spread;
    }
    return terms.join(QStringLiteral(" AND "));
}

QString jsonArray(const QList<qint64>& rowids)
{
    QString text = QStringLiteral("[");
    for (qsizetype i = 0; i < rowids.size(); ++i) {
        if (i > 0)
            text += u',';
        text += QString::number(rowids[i]);
    }
    return text + u']';
}

const QString ownColumnsMatch = QStringLiteral(
    "candidate.title LIKE ?1 OR candidate.url LIKE ?1 OR candidate.type LIKE ?1 OR candidate.notes LIKE ?1");
// The links of tags whose names match: tags are few, so they are read first and their links found
// through link_tags_tag_idx (CROSS JOIN keeps that order without statistics).
const QString taggedLinks =
    QStringLiteral("SELECT link_tags.link_id FROM tags CROSS JOIN link_tags ON link_tags.tag_id = tags.id "
                   "WHERE tags.name LIKE ?1");

// The library statement's page over the candidates (by rowid) and the links of matching tags.
const QString& orderedPageByRowidSql()
{
    static const QString sql =
        QStringLiteral(
            "SELECT page.rid FROM ("
            "SELECT candidate.rowid AS rid, CASE WHEN candidate.title LIKE ?1 THEN 0 ELSE 1 END AS rank, "
            "candidate.title AS title FROM links AS candidate WHERE candidate.rowid IN "
            "(SELECT value FROM json_each(?2)) AND (%1) "
            "UNION ALL "
            "SELECT candidate.rowid, 1, candidate.title FROM links AS candidate WHERE candidate.id IN "
            "(%2) "
            "AND NOT (%1)"
            ") AS page ORDER BY page.rank, page.title COLLATE NOCASE ASC, page.rid ASC LIMIT %3")
            .arg(ownColumnsMatch, taggedLinks)
            .arg(LinkSearchIndex::pageSize);
    return sql;
}

// The longest run of the text between its wildcards.
QString longestLiteralRun(const QString& text)
{
    QString longest;
    for (const QString& run : text.split(QRegularExpression(QStringLiteral("[%_]")))) {
        if (run.size() > longest.size())
            longest = run;
    }
    return longest;
}

const QString otherMatchesWalkSql =
    QStringLiteral("SELECT rowid FROM links INDEXED BY %1 WHERE NOT (title LIKE ?1) AND (url LIKE ?1 OR type "
                   "LIKE ?1 OR notes LIKE ?1 OR id IN (%2)) ORDER BY title COLLATE NOCASE, rowid LIMIT ?2");

} // namespace

void LinkSearchIndex::migrate(SQLiteConnection& connection, const LinkSearchSeal::FileState& opened)
{
    try {
        inTransaction(connection, [&] {
            connection.execute(createIndexTable);
            connection.execute(QStringLiteral(
                "CREATE TABLE IF NOT EXISTS link_search_progress (indexed_through INTEGER NOT NULL)"));
            SQLiteStatement progress =
                connection.statement(QStringLiteral("SELECT 1 FROM link_search_progress"));
            if (!progress.step()) {
                SQLiteStatement any = connection.statement(QStringLiteral("SELECT 1 FROM links LIMIT 1"));
                const bool empty = !any.step();
                // An empty library is complete as it stands; any other is indexed in steps.
                connection.execute(QStringLiteral("INSERT INTO link_search_progress VALUES (?1)"),
                                   {SQLiteValue::integer(empty ? everyRow : 0)});
                if (empty)
                    createTitleOrder(connection);
            } else if (!LinkSearchSeal::holds(connection, opened)) {
                forgetRowids(connection);
            }
            for (const QString& trigger : triggers())
                connection.execute(trigger);
        });
    } catch (const StoreError& error) {
        // The library works without it; searches read every row instead.
        qCWarning(lcSQLiteStore) << "The library has no search index:" << error.message();
    }
}

bool LinkSearchIndex::isReady()
{
    if (m_ready)
        return true;
    if (!exists(m_connection, QStringLiteral("link_search_progress")) ||
        !exists(m_connection, titleOrderIndex))
        return false;
    SQLiteStatement progress =
        m_connection.statement(QStringLiteral("SELECT indexed_through FROM link_search_progress"));
    const bool ready = progress.step() && progress.int64(0) == everyRow;
    // What an open transaction made complete may still roll back.
    m_ready = ready && !m_connection.inTransaction();
    return ready;
}

void LinkSearchIndex::setIndexedThrough(qint64 rowid)
{
    m_connection.execute(QStringLiteral("UPDATE link_search_progress SET indexed_through = ?1"),
                         {SQLiteValue::integer(rowid)});
}

bool LinkSearchIndex::suspend()
{
    if (!exists(m_connection, QStringLiteral("link_search_progress")))
        return false;
    // Emptied and marked as indexing no row, the triggers leave it alone.
    m_connection.execute(QStringLiteral("INSERT INTO link_search(link_search) VALUES ('delete-all')"));
    setIndexedThrough(0);
    m_ready = false;
    return true;
}

void LinkSearchIndex::resume()
{
    if (!exists(m_connection, QStringLiteral("link_search_progress")))
        return;
    m_connection.execute(QStringLiteral("INSERT INTO link_search(link_search) VALUES ('rebuild')"));
    setIndexedThrough(everyRow);
}

bool LinkSearchIndex::buildStep()
{
    if (isReady() || m_buildHeld)
        return true;
    if (!exists(m_connection, QStringLiteral("link_search_progress")))
        return true; // no index in this SQLite: nothing to build
    inTransaction(m_connection, [&] {
        if (!exists(m_connection, titleOrderIndex)) {
            createTitleOrder(m_connection);
            LinkSearchSeal::take(m_connection);
            return;
        }
        SQLiteStatement progress =
            m_connection.statement(QStringLiteral("SELECT indexed_through FROM link_search_progress"));
        const qint64 through = progress.step() ? progress.int64(0) : 0;
        SQLiteStatement batch = m_connection.statement(QStringLiteral(
            "SELECT max(rowid), count(*) FROM (SELECT rowid FROM links WHERE rowid > ?1 ORDER BY "
            "rowid LIMIT ?2)"));
        batch.bind({SQLiteValue::integer(through), SQLiteValue::integer(buildBatch)});
        batch.step();
        const std::optional<qint64> end = batch.optionalInt64(0);
        if (end) {
            m_connection.execute(
                QStringLiteral("INSERT INTO link_search(rowid, title, url, type, notes) SELECT rowid, title, "
                               "url, type, notes FROM links WHERE rowid > ?1 AND rowid <= ?2"),
                {SQLiteValue::integer(through), SQLiteValue::integer(*end)});
        }
        // A batch short of full held every row left, so the rows written between steps cannot keep the
        // build from ending.
        const bool last = batch.int64(1) < buildBatch;
        setIndexedThrough(last ? everyRow : *end);
    });
    return isReady();
}

std::optional<QList<LinkItem>> LinkSearchIndex::search(const QString& text)
{
    const std::optional<QList<qint64>> page = searchPage(text);
    if (!page)
        return std::nullopt;
    // The rows bare, then the tags and relation counts of all of them at once: the link query's own
    // subqueries would seek them row by row.
    SQLiteStatement rows = m_connection.statement(
        linkStoredColumnsSql() +
        QStringLiteral(
            "FROM json_each(?1) AS page CROSS JOIN links ON links.rowid = page.value ORDER BY page.key"));
    rows.bind({jsonArray(*page)});
    return LinkTagsAndCounts::queryFew(m_connection, m_tagNames, rows);
}

std::optional<QList<qint64>> LinkSearchIndex::searchPage(const QString& text)
{
    const std::optional<QString> match = trigramQuery(text);
    if (!match || !isReady())
        return std::nullopt;
    const QString like = u'%' + text + u'%';
    if (!match->isEmpty()) {
        const QList<qint64> found =
            rowids(QStringLiteral("SELECT rowid FROM link_search WHERE link_search MATCH ?1 LIMIT ?2"),
                   {*match, SQLiteValue::integer(sortedCandidateLimit + 1)});
        if (found.size() <= sortedCandidateLimit)
            return rowids(orderedPageByRowidSql(), {like, jsonArray(found)});
    }

    if (match->isEmpty()) {
        if (std::optional<QList<qint64>> page = shortTextPage(text, like))
            return page;
    }

    // Many rows may match, as most do a text too short for the index: the titles in the search's order give
    // the title matches first, and the other matches after them, each walk stopping once the page is full.
    QList<qint64> page =
        rowids(QStringLiteral("SELECT rowid FROM links INDEXED BY ") + titleOrderIndex +
                   QStringLiteral(" WHERE title LIKE ?1 ORDER BY title COLLATE NOCASE, rowid LIMIT ?2"),
               {like, SQLiteValue::integer(pageSize)});
    if (page.size() < pageSize)
        page += otherMatchesWalk(like, pageSize - page.size());
    return page;
}

QList<qint64> LinkSearchIndex::otherMatchesWalk(const QString& like, qsizetype count)
{
    static const QString sql = otherMatchesWalkSql.arg(titleOrderIndex, taggedLinks);
    return rowids(sql, {like, SQLiteValue::integer(count)});
}

std::optional<QList<qint64>> LinkSearchIndex::shortTextPage(const QString& text, const QString& like)
{
    const std::optional<LinkSearchTexts::Found> found =
        m_texts.find(longestLiteralRun(text), sortedCandidateLimit);
    if (!found)
        return std::nullopt;
    if (found->inTitles.size() + found->inOtherTexts.size() <= sortedCandidateLimit)
        return rowids(orderedPageByRowidSql(), {like, jsonArray(found->inTitles + found->inOtherTexts)});
    // Too many to sort, but the titles are few: they are sorted, and the walk finds the many others.
    if (found->inTitles.size() > sortedCandidateLimit)
        return std::nullopt;
    QList<qint64> page = rowids(QStringLiteral("SELECT rowid FROM links WHERE rowid IN (SELECT value FROM "
                                               "json_each(?2)) AND title LIKE ?1 ORDER BY title COLLATE "
                                               "NOCASE, rowid LIMIT ?3"),
                                {like, jsonArray(found->inTitles), SQLiteValue::integer(pageSize)});
    if (page.size() < pageSize)
        page += otherMatchesWalk(like, pageSize - page.size());
    return page;
}

QList<qint64> LinkSearchIndex::rowids(const QString& sql, const QList<SQLiteValue>& parameters)
{
    SQLiteStatement statement = m_connection.statement(sql);
    statement.bind(parameters);
    QList<qint64> found;
    while (statement.step())
        found.append(statement.int64(0));
    return found;
}

} // namespace morvane
