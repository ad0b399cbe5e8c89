#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace morvane {

class SQLiteStore;

// Every link's tag names, read in one pass for a full read of the library. The names of one link come
// in the order of the link query's tag column: by name with SQLite's NOCASE collation, which the tags
// statement itself sorts by so that no second collation has to agree with it.
class LinkTagLists {
public:
    static LinkTagLists read(SQLiteStore& store);

    // The link's tag names, as a link row decodes them (empty when it has none).
    QStringList tagsOf(const QString& linkId) const;

private:
    struct Range {
        qsizetype start = 0;
        qsizetype count = 0;
    };

    // The decoded pieces of each tag name, by the tag's place in collation order.
    QList<QStringList> m_namesByRank;
    // Each link's tag ranks, sorted, as a range of m_ranks.
    QList<int> m_ranks;
    QHash<QString, Range> m_rangesByLink;
};

// How many relations name each link at either end: a link's linked item count.
QHash<QString, int> readLinkedCounts(SQLiteStore& store);

} // namespace morvane
