#include "LinkTagsAndCounts.h"

#include "LinkRow.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <tuple>

namespace morvane {

LinkTagsAndCounts LinkTagsAndCounts::read(SQLiteConnection& connection, qsizetype linkCount)
{
    LinkTagsAndCounts result;
    result.m_entries.reserve(linkCount);
    result.readTags(connection);
    result.readLinkedCounts(connection);
    return result;
}

void LinkTagsAndCounts::readTags(SQLiteConnection& connection)
{
    StoredIdMap<int> rankByTag;
    {
        SQLiteStatement tags = connection.statement(
            QStringLiteral("SELECT id, name FROM tags ORDER BY name COLLATE NOCASE ASC"));
        while (tags.step()) {
            rankByTag[tags.utf8(0)] = int(m_namesByRank.size());
            m_namesByRank.append(splitTagNames(tags.text(1)));
        }
    }

    // The primary key's order keeps each link's rows together. The links whose id is in the written form
    // are entered together once the scan is done (see StoredIdMap::update).
    SQLiteStatement links =
        connection.statement(QStringLiteral("SELECT link_id, tag_id FROM link_tags ORDER BY link_id"));
    std::vector<StoredIdKey> keys;
    std::vector<std::pair<int, int>> ranges;
    QByteArray currentLink;
    qsizetype start = 0;
    const auto finish = [&] {
        if (start == m_ranks.size())
            return;
        std::sort(m_ranks.begin() + start, m_ranks.end());
        const std::pair<int, int> range(int(start), int(m_ranks.size() - start));
        if (const std::optional<StoredIdKey> key = writtenIdKey(currentLink)) {
            keys.push_back(*key);
            ranges.push_back(range);
        } else {
            Entry& entry = m_entries[currentLink];
            std::tie(entry.tagStart, entry.tagCount) = range;
        }
    };
    while (links.step()) {
        const SQLiteRow row(links);
        const int* rank = rankByTag.find(row.utf8(1));
        if (rank == nullptr)
            continue; // a row without its tag has no name to show
        const QByteArrayView link = row.utf8(0);
        if (start == m_ranks.size() || link != QByteArrayView(currentLink)) {
            finish();
            // Copied into the same buffer each time: a link id is short and most have a few tags.
            currentLink.resize(link.size());
            std::copy(link.begin(), link.end(), currentLink.begin());
            start = m_ranks.size();
        }
        m_ranks.append(*rank);
    }
    finish();
    m_entries.update(
        keys, [&](Entry& entry, std::size_t i) { std::tie(entry.tagStart, entry.tagCount) = ranges[i]; });
}

void LinkTagsAndCounts::readLinkedCounts(SQLiteConnection& connection)
{
    SQLiteStatement relations =
        connection.statement(QStringLiteral("SELECT from_link_id, to_link_id FROM link_relations"));
    std::vector<StoredIdKey> ends;
    const auto count = [&](QByteArrayView id) {
        if (const std::optional<StoredIdKey> key = writtenIdKey(id))
            ends.push_back(*key);
        else
            ++m_entries[id].linkedCount;
    };
    while (relations.step()) {
        const SQLiteRow row(relations);
        const QByteArrayView from = row.utf8(0);
        const QByteArrayView to = row.utf8(1);
        count(from);
        // A relation counts once for a link, even one that names it at both ends.
        if (to != from)
            count(to);
    }
    m_entries.update(ends, [](Entry& entry, std::size_t) { ++entry.linkedCount; });
}

void LinkTagsAndCounts::fill(LinkItem& item, QByteArrayView storedId) const
{
    if (const Entry* entry = m_entries.find(storedId))
        fill(item, *entry);
}

void LinkTagsAndCounts::fill(QList<LinkItem>& links,
                             const std::vector<std::pair<qsizetype, StoredIdKey>>& keys) const
{
    // Far enough ahead for a slot to arrive from memory, then half as far for what the slot points at.
    constexpr std::size_t slotDistance = 16;
    constexpr std::size_t rankDistance = 8;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i + slotDistance < keys.size())
            m_entries.prefetch(keys[i + slotDistance].second);
        if (i + rankDistance < keys.size()) {
            const auto& [ahead, aheadKey] = keys[i + rankDistance];
            __builtin_prefetch(&links[ahead].tags);
            if (const Entry* entry = m_entries.find(aheadKey); entry && entry->tagCount > 0)
                __builtin_prefetch(&m_ranks[entry->tagStart]);
        }
        if (const Entry* entry = m_entries.find(keys[i].second))
            fill(links[keys[i].first], *entry);
    }
}

const QHash<QByteArray, QByteArray>& TagNamesById::current()
{
    const std::pair<qint64, qint64> stamp = m_connection.changeStamp();
    if (m_stamp == stamp)
        return m_names;
    m_names.clear();
    SQLiteStatement tags = m_connection.statement(QStringLiteral("SELECT id, name FROM tags"));
    while (tags.step()) {
        const SQLiteRow row(tags);
        m_names.insert(row.utf8(0).toByteArray(), row.utf8(1).toByteArray());
    }
    m_stamp = stamp;
    return m_names;
}

QList<LinkItem> LinkTagsAndCounts::queryFew(SQLiteConnection& connection, TagNamesById& tagNames,
                                            SQLiteStatement& rows, qint64* lastRow)
{
    constexpr int rowColumn = 15; // after the stored columns
    QList<LinkItem> links;
    QList<QByteArray> storedIds;
    while (rows.step()) {
        const SQLiteRow row(rows);
        if (lastRow)
            *lastRow = row.int64(rowColumn);
        if (!decodeStoredLinkColumns(row, links.emplaceBack())) {
            links.removeLast();
            continue;
        }
        storedIds.append(row.utf8(0).toByteArray());
    }
    fillFew(connection, tagNames, links, storedIds);
    return links;
}

void LinkTagsAndCounts::fillFew(SQLiteConnection& connection, TagNamesById& tagNames, QList<LinkItem>& links,
                                const QList<QByteArray>& storedIds)
{
    if (links.isEmpty())
        return;
    const QHash<QByteArray, QByteArray>& names = tagNames.current();
    QJsonArray ids;
    for (const QByteArray& id : storedIds)
        ids.append(QString::fromUtf8(id));
    // page.key is the link's place in the list. Each link costs three seeks, each in an index that holds
    // all the statement needs: its tag ids in link_tags' primary key, the relations it starts (with their
    // other ends, so that one naming the link at both ends counts once) in the relations' unique pair of
    // ends, and how many it ends in their index of ends. A link's rows of the table are never read. The
    // rows come unsorted: SQLite sorting them cost more than finding them.
    SQLiteStatement rows = connection.statement(QStringLiteral(
        "SELECT page.key, link_tags.tag_id, 0 FROM json_each(?1) AS page CROSS JOIN link_tags ON "
        "link_tags.link_id = page.value "
        "UNION ALL SELECT page.key, NULL, link_relations.to_link_id <> page.value FROM json_each(?1) AS page "
        "CROSS JOIN link_relations ON link_relations.from_link_id = page.value "
        "UNION ALL SELECT page.key, NULL, (SELECT count(*) FROM link_relations WHERE "
        "to_link_id = page.value) FROM json_each(?1) AS page"));
    rows.bind({QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact))});
    QList<QList<QByteArray>> tagNamesOf(links.size());
    while (rows.step()) {
        const SQLiteRow row(rows);
        const qint64 index = row.int64(0);
        if (index < 0 || index >= links.size())
            continue;
        if (const std::optional<QByteArrayView> tagId = row.optionalUtf8(1)) {
            // A row without its tag has no name to show.
            const auto name = names.constFind(tagId->toByteArray());
            if (name != names.constEnd())
                tagNamesOf[index].append(*name);
        } else {
            links[index].linkedItemCount += int(row.int64(2));
        }
    }
    // In the order of the link query's tag column: SQLite's NOCASE, bytes with ASCII letters folded.
    const auto nocaseLess = [](const QByteArray& a, const QByteArray& b) {
        return std::lexicographical_compare(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](char x, char y) {
            const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int(c); };
            return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
        });
    };
    for (qsizetype i = 0; i < links.size(); ++i) {
        std::sort(tagNamesOf[i].begin(), tagNamesOf[i].end(), nocaseLess);
        for (const QByteArray& name : std::as_const(tagNamesOf[i]))
            links[i].tags += splitTagNames(QString::fromUtf8(name));
    }
}

void LinkTagsAndCounts::fill(LinkItem& item, const Entry& entry) const
{
    item.linkedItemCount = entry.linkedCount;
    item.tags.reserve(entry.tagCount);
    for (qsizetype i = entry.tagStart; i < entry.tagStart + entry.tagCount; ++i)
        item.tags += m_namesByRank.at(m_ranks.at(i));
}

} // namespace morvane
