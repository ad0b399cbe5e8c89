#include "LinkTagLists.h"

#include "LinkRow.h"
#include "SQLiteStore.h"

#include <algorithm>

namespace morvane {

LinkTagLists LinkTagLists::read(SQLiteStore& store)
{
    LinkTagLists lists;
    QHash<QString, int> rankByTag;
    {
        SQLiteStatement tags =
            store.prepare(QStringLiteral("SELECT id, name FROM tags ORDER BY name COLLATE NOCASE ASC"));
        while (tags.step()) {
            rankByTag.insert(tags.text(0), int(lists.m_namesByRank.size()));
            lists.m_namesByRank.append(splitTagNames(tags.text(1)));
        }
    }

    // The primary key's order keeps each link's rows together.
    SQLiteStatement links =
        store.prepare(QStringLiteral("SELECT link_id, tag_id FROM link_tags ORDER BY link_id"));
    QString currentLink;
    Range current;
    const auto finish = [&] {
        if (current.count == 0)
            return;
        std::sort(lists.m_ranks.begin() + current.start, lists.m_ranks.end());
        lists.m_rangesByLink.insert(currentLink, current);
    };
    while (links.step()) {
        const auto rank = rankByTag.constFind(links.text(1));
        if (rank == rankByTag.cend())
            continue; // a row without its tag has no name to show
        QString link = links.text(0);
        if (link != currentLink) {
            finish();
            currentLink = std::move(link);
            current = Range{lists.m_ranks.size(), 0};
        }
        lists.m_ranks.append(*rank);
        ++current.count;
    }
    finish();
    return lists;
}

QStringList LinkTagLists::tagsOf(const QString& linkId) const
{
    const auto range = m_rangesByLink.constFind(linkId);
    if (range == m_rangesByLink.cend())
        return {};
    QStringList names;
    for (qsizetype i = range->start; i < range->start + range->count; ++i)
        names += m_namesByRank.at(m_ranks.at(i));
    return names;
}

QHash<QString, int> readLinkedCounts(SQLiteStore& store)
{
    QHash<QString, int> counts;
    SQLiteStatement relations =
        store.prepare(QStringLiteral("SELECT from_link_id, to_link_id FROM link_relations"));
    while (relations.step()) {
        const QString from = relations.text(0);
        const QString to = relations.text(1);
        ++counts[from];
        // A relation counts once for a link, even one that names it at both ends.
        if (to != from)
            ++counts[to];
    }
    return counts;
}

} // namespace morvane
