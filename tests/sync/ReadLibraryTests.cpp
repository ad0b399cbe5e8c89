#include "SyncTestSupport.h"

#include "sync/SyncScope.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace morvane::test {
namespace {

template <class T> QList<T> byID(QList<T> values)
{
    std::sort(values.begin(), values.end(),
              [](const T& a, const T& b) { return uuidString(a.id) < uuidString(b.id); });
    return values;
}

// Read or walked a part at a time, the library is what one read of it gives, whatever the parts' size: with
// rows that do not decode (one ends the first part of three, another is the first relation), ids in another
// case, gaps left by deletions, tags, relations and deletions.
TEST(ReadLibrary, EveryPartSizeReadsWhatOneReadGives)
{
    Machine machine("parts", std::make_shared<InMemoryRecordStore>());
    machine.on([](SQLiteStore& sqlite) {
        SQLiteConnection raw = rawLibrary(sqlite);
        raw.execute("INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES ('first', 'a', "
                    "'https://a.example', 'web', '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z')");
        addLink(sqlite, makeLink("second"));
        raw.execute("INSERT INTO link_relations VALUES ('not a uuid', 'first', 'second', "
                    "'2024-01-01T00:00:00.000Z')");
        raw.execute("INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES ('not a uuid', "
                    "'c', 'https://c.example', 'web', '2024-01-01T00:00:00.000Z', "
                    "'2024-01-01T00:00:00.000Z')");
        fillVariedLibrary(sqlite, 7, 40);
        raw.execute("DELETE FROM links WHERE rowid % 5 = 0");
        raw.execute("INSERT INTO deleted_records (record_type, record_name, deleted_at) VALUES ('Link', "
                    "'gone', '2024-02-01T00:00:00.000Z')");
    });
    const QList<LinkItem> links =
        machine.on([](SQLiteStore& sqlite) { return byID(sqlite.reads().allLinks()); });
    const QList<LinkRelation> relations =
        machine.on([](SQLiteStore& sqlite) { return byID(sqlite.reads().allRelations()); });
    const QList<DeletedRecord> deletions =
        machine.on([](SQLiteStore& sqlite) { return sqlite.reads().allDeletedRecords(); });
    ASSERT_GT(links.size(), 20);
    ASSERT_FALSE(relations.isEmpty());
    ASSERT_FALSE(deletions.isEmpty());

    for (const qsizetype perPart : {1, 2, 3, 7, 1000}) {
        SCOPED_TRACE(perPart);
        const std::shared_ptr<const SyncScope> everything;
        const SyncedLibrary::State read = await(readLibrary(*machine.store, everything, perPart));
        const QList<LinkItem> readLinks = byID(read.links);
        EXPECT_EQ(titles(readLinks), titles(links));
        EXPECT_TRUE(readLinks == links); // every field
        EXPECT_EQ(byID(read.relations), relations);
        EXPECT_EQ(read.deletions, deletions);

        // Walked a part at a time, every row is handed once, in the order of the rows, as one read
        // gives it.
        QList<LinkItem> walkedLinks;
        QList<LinkRelation> walkedRelations;
        const LinkTaker link = [&walkedLinks](const LinkItem& row) { walkedLinks.append(row); };
        const RelationTaker relation = [&walkedRelations](const LinkRelation& row) {
            walkedRelations.append(row);
        };
        const QList<DeletedRecord> walkedDeletions =
            await(walkLibrary(*machine.store, link, relation, perPart));
        EXPECT_TRUE(walkedLinks == read.links);
        EXPECT_EQ(walkedRelations, read.relations);
        EXPECT_EQ(walkedDeletions, deletions);
    }
}

} // namespace
} // namespace morvane::test
