#pragma once

#include "StoredIdMap.h"
#include "model/LinkItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace morvane {

class SQLiteConnection;
class SQLiteStatement;

// The name of every tag by its stored id, for the tags of a few links: with them at hand, a link's tags
// come from link_tags alone. Read again whenever a row of the library may have changed (a write through
// this connection, a commit by another): a tag's row can change without any link's, and a scan of the
// tags costs less than seeking each name through the tags' text keys for one page.
class TagNamesById {
public:
    explicit TagNamesById(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // The names as the tags table holds them now.
    const QHash<QByteArray, QByteArray>& current();

private:
    SQLiteConnection& m_connection;
    std::optional<std::pair<qint64, qint64>> m_stamp;
    QHash<QByteArray, QByteArray> m_names;
};

// Every link's tag names and linked item count, read in one pass over each table for a full read of
// the library: the per-row subqueries of the link columns would seek each link's tags and relations one
// by one. A link's tag names come in the order of the link query's tag column: by name with SQLite's
// NOCASE collation, which the tags statement itself sorts by so that no second collation has to agree.
class LinkTagsAndCounts {
public:
    // linkCount: about how many links the library has, to size the tables once.
    static LinkTagsAndCounts read(SQLiteConnection& connection, qsizetype linkCount);

    // Gives the link with this stored id its tags and linked item count (none and 0 when it has none).
    void fill(LinkItem& item, QByteArrayView storedId) const;

    // The same for many links at once: keys[i].second is the written key of the stored id of
    // links[keys[i].first]. Each lookup misses the cache on a large library; taken together they are
    // fetched ahead of use.
    void fill(QList<LinkItem>& links, const std::vector<std::pair<qsizetype, StoredIdKey>>& keys) const;

    // The tags and linked item counts of a few links, such as a search's page, in one statement that
    // reads each link's entries in link_tags and the relation indexes alone: storedIds[i] is the stored
    // id of links[i].
    static void fillFew(SQLiteConnection& connection, TagNamesById& tagNames, QList<LinkItem>& links,
                        const QList<QByteArray>& storedIds);
    // Runs a bound statement that selected linkStoredColumnsSql() and gives its links their tags and
    // counts as fillFew does; rows that do not decode are skipped. With lastRow, the statement selects
    // the row's rowid after the stored columns, and lastRow is set to that of the last row read.
    static QList<LinkItem> queryFew(SQLiteConnection& connection, TagNamesById& tagNames,
                                    SQLiteStatement& rows, qint64* lastRow = nullptr);

private:
    // One entry per link, so that a link costs one lookup.
    struct Entry {
        int tagStart = 0; // the link's tag ranks, sorted, are m_ranks[tagStart, tagStart + tagCount)
        int tagCount = 0;
        int linkedCount = 0;
    };

    void fill(LinkItem& item, const Entry& entry) const;
    void readTags(SQLiteConnection& connection);
    void readLinkedCounts(SQLiteConnection& connection);

    // The decoded pieces of each tag name, by the tag's place in collation order.
    QList<QStringList> m_namesByRank;
    QList<int> m_ranks;
    StoredIdMap<Entry> m_entries;
};

} // namespace morvane
