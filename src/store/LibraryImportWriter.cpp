#include "LibraryImportWriter.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/SQLiteStore.h"

#include <QSet>

#include <algorithm>

namespace morvane {

namespace {
const QString linkRecordType = QStringLiteral("Link");
const QString relationRecordType = QStringLiteral("LinkRelation");

// Stays within the smallest bound on parameters that SQLite builds have had.
constexpr qsizetype maximumParameters = 999;

using Row = QList<SQLiteValue>;

// Runs one statement per chunk of rows: makeSql(n) gives the text for n rows, whose parameters are the
// rows' values in order.
template <class MakeSql> void runInChunks(SQLiteStore& store, const QList<Row>& rows, MakeSql makeSql)
{
    if (rows.isEmpty())
        return;
    const qsizetype perRow = std::max<qsizetype>(1, rows.first().size());
    const qsizetype chunk = std::max<qsizetype>(1, maximumParameters / perRow);
    for (qsizetype start = 0; start < rows.size(); start += chunk) {
        const qsizetype count = std::min(chunk, rows.size() - start);
        Row values;
        values.reserve(count * perRow);
        for (qsizetype i = start; i < start + count; ++i)
            values.append(rows[i]);
        store.executeValues(makeSql(count), values);
    }
}

QString repeated(const QString& group, qsizetype count)
{
    QStringList groups;
    groups.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        groups.append(group);
    return groups.join(u',');
}

// "(?, ?, ?)" for a row of n values.
QString placeholders(qsizetype n)
{
    return u'(' + repeated(QStringLiteral("?"), n) + u')';
}

void deleteTombstones(SQLiteStore& store, const QString& recordType, const QStringList& recordNames)
{
    QList<Row> rows;
    rows.reserve(recordNames.size());
    for (const QString& name : recordNames)
        rows.append({SQLiteValue::text(name)});
    runInChunks(store, rows, [&](qsizetype n) {
        return QStringLiteral("DELETE FROM deleted_records WHERE record_type = '") + recordType +
               QStringLiteral("' AND record_name IN ") + placeholders(n);
    });
}

// As the library stores tags: trimmed, lower-cased, each once.
QStringList normalizedTags(const QStringList& names)
{
    QStringList result;
    for (const QString& name : names) {
        const QString tag = name.trimmed().toLower();
        if (!tag.isEmpty() && !result.contains(tag))
            result.append(tag);
    }
    return result;
}

std::optional<QString> optionalDateText(const std::optional<QDateTime>& date)
{
    if (!date)
        return std::nullopt;
    return libraryDateString(*date);
}
} // namespace

void LibraryImportWriter::write(const QList<LinkItem>& links, const QList<LinkRelation>& relations)
{
    // A link listed twice ends as its last record says, as when each record is written over the one
    // before: only the last one is written.
    QHash<QUuid, qsizetype> lastIndex;
    lastIndex.reserve(links.size());
    for (qsizetype i = 0; i < links.size(); ++i)
        lastIndex.insert(links[i].id, i);
    QList<LinkItem> distinct;
    distinct.reserve(lastIndex.size());
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (lastIndex.value(links[i].id) == i)
            distinct.append(links[i]);
    }
    writeLinks(distinct);
    writeTags(distinct);
    writeRelations(relations);
}

void LibraryImportWriter::writeLinks(const QList<LinkItem>& links)
{
    QStringList ids;
    QList<Row> rows;
    ids.reserve(links.size());
    rows.reserve(links.size());
    for (const LinkItem& item : links) {
        ids.append(uuidString(item.id));
        rows.append({SQLiteValue::text(ids.last()), SQLiteValue::text(item.title),
                     SQLiteValue::text(item.url), SQLiteValue::text(rawValue(item.type)),
                     SQLiteValue::text(item.sourceApp), SQLiteValue::text(item.notes),
                     SQLiteValue::text(item.lastKnownPath), SQLiteValue::text(item.contentHash),
                     SQLiteValue::integer(item.fileSize),
                     SQLiteValue::text(libraryDateString(item.createdAt)),
                     SQLiteValue::text(libraryDateString(item.updatedAt)),
                     SQLiteValue::text(optionalDateText(item.lastOpenedAt))});
    }
    deleteTombstones(m_store, linkRecordType, ids);
    runInChunks(m_store, rows, [](qsizetype n) {
        return QStringLiteral("INSERT INTO links (id, title, url, type, source_app, notes, last_known_path, "
                              "content_hash, file_size, created_at, updated_at, last_opened_at) VALUES ") +
               repeated(placeholders(12), n) +
               QStringLiteral(" ON CONFLICT(id) DO UPDATE SET title = excluded.title, url = excluded.url, "
                              "type = excluded.type, source_app = excluded.source_app, "
                              "notes = excluded.notes, last_known_path = excluded.last_known_path, "
                              "content_hash = excluded.content_hash, file_size = excluded.file_size, "
                              "created_at = excluded.created_at, updated_at = excluded.updated_at, "
                              "last_opened_at = excluded.last_opened_at");
    });
    QList<Row> idRows;
    idRows.reserve(ids.size());
    for (const QString& id : ids)
        idRows.append({SQLiteValue::text(id)});
    runInChunks(m_store, idRows, [](qsizetype n) {
        return QStringLiteral("DELETE FROM link_tags WHERE link_id IN ") + placeholders(n);
    });
}

QString LibraryImportWriter::tagID(const QString& name)
{
    if (const auto found = m_tagIDs.constFind(name); found != m_tagIDs.cend())
        return *found;
    // The name may already be there in another case (the column compares without regard to case).
    m_store.execute(QStringLiteral("INSERT OR IGNORE INTO tags (id, name) VALUES (?, ?)"),
                    {uuidString(QUuid::createUuid()), name});
    SQLiteStatement select = m_store.prepare(QStringLiteral("SELECT id FROM tags WHERE name = ? LIMIT 1"));
    select.bindTexts({name});
    const QString id = select.step() ? select.text(0) : QString();
    m_tagIDs.insert(name, id);
    return id;
}

void LibraryImportWriter::writeTags(const QList<LinkItem>& links)
{
    QList<Row> rows;
    for (const LinkItem& item : links) {
        const QString linkID = uuidString(item.id);
        for (const QString& tag : normalizedTags(item.tags)) {
            const QString id = tagID(tag);
            if (!id.isEmpty())
                rows.append({SQLiteValue::text(linkID), SQLiteValue::text(id)});
        }
    }
    runInChunks(m_store, rows, [](qsizetype n) {
        return QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES ") +
               repeated(placeholders(2), n);
    });
}

void LibraryImportWriter::writeRelations(const QList<LinkRelation>& relations)
{
    QStringList recordNames;
    QList<Row> rows;
    for (const LinkRelation& relation : relations) {
        if (relation.fromLinkID == relation.toLinkID)
            continue;
        QString from = uuidString(relation.fromLinkID);
        QString to = uuidString(relation.toLinkID);
        if (to < from)
            std::swap(from, to);
        recordNames.append(LinkRelation::recordName(relation.fromLinkID, relation.toLinkID));
        rows.append({SQLiteValue::text(uuidString(relation.id)), SQLiteValue::text(from),
                     SQLiteValue::text(to), SQLiteValue::text(libraryDateString(relation.createdAt))});
    }
    deleteTombstones(m_store, relationRecordType, recordNames);
    // Rows of one statement are inserted in order, so a pair listed twice keeps its first id and takes
    // the last creation time, as record-by-record writes would.
    runInChunks(m_store, rows, [](qsizetype n) {
        return QStringLiteral(
                   "INSERT INTO link_relations (id, from_link_id, to_link_id, created_at) VALUES ") +
               repeated(placeholders(4), n) +
               QStringLiteral(" ON CONFLICT(from_link_id, to_link_id) DO UPDATE SET created_at = "
                              "excluded.created_at");
    });
}

} // namespace morvane
