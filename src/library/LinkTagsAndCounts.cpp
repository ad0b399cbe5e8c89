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

void LinkTagsAndCounts::fillFew(SQLiteConnection& connection, QList<LinkItem>& links,
                                const QList<QByteArray>& storedIds)
{
    if (links.isEmpty())
        return;
    QHash<QByteArray, qsizetype> indexOf;
    indexOf.reserve(storedIds.size());
    QJsonArray ids;
    for (qsizetype i = 0; i < storedIds.size(); ++i) {
        indexOf.insert(storedIds[i], i);
        ids.append(QString::fromUtf8(storedIds[i]));
    }
    // A relation counts once for each link, even one that names the link at both ends. The rows come
    // unsorted: SQLite sorting them cost more than finding them.
    SQLiteStatement rows = connection.statement(QStringLiteral(
        "SELECT page.value, tags.name FROM json_each(?1) AS page CROSS JOIN link_tags ON link_tags.link_id = "
        "page.value CROSS JOIN tags ON tags.id = link_tags.tag_id "
        "UNION ALL SELECT page.value, NULL FROM json_each(?1) AS page CROSS JOIN link_relations ON "
        "link_relations.from_link_id = page.value "
        "UNION ALL SELECT page.value, NULL FROM json_each(?1) AS page CROSS JOIN link_relations ON "
        "link_relations.to_link_id = page.value AND link_relations.from_link_id <> page.value"));
    rows.bind({QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact))});
    QList<QList<QByteArray>> tagNames(links.size());
    while (rows.step()) {
        const SQLiteRow row(rows);
        const auto index = indexOf.constFind(row.utf8(0).toByteArray());
        if (index == indexOf.constEnd())
            continue;
        if (const std::optional<QByteArrayView> name = row.optionalUtf8(1))
            tagNames[*index].append(name->toByteArray());
        else
            ++links[*index].linkedItemCount;
    }
    // In the order of the link query's tag column: SQLite's NOCASE, bytes with ASCII letters folded.
    const auto nocaseLess = [](const QByteArray& a, const QByteArray& b) {
        return std::lexicographical_compare(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](char x, char y) {
            const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int(c); };
            return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
        });
    };
    for (qsizetype i = 0; i < links.size(); ++i) {
        std::sort(tagNames[i].begin(), tagNames[i].end(), nocaseLess);
        for (const QByteArray& name : std::as_const(tagNames[i]))
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
