// The full read gathers tags and relation counts in passes of their own. These tests hold it to the
// plain statement, which computes them per row, on libraries built to provoke differences: titles
// equal but for case, equal dates, tag names that sort differently by case or hold the separator,
// self relations, links without tags, undecodable rows and gaps left by deletions.
#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainAllLinksSql =
    QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC");

void fill(SQLiteStore& store, unsigned seed, int linkCount)
{
    std::mt19937 random(seed);
    const auto pick = [&](const QStringList& list) {
        return list.at(std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(random));
    };
    const QStringList titles = {"Alpha", "alpha", "ALPHA", "Zed", "zed", "Ünïcode", "_under", "", "b"};
    const QStringList dates = {"2024-01-01T00:00:00.000Z", "2024-01-01T00:00:00.000Z",
                               "2024-02-01T00:00:00.000Z", "2024-03-01T12:00:00.500Z",
                               "2024-03-01T12:00:00Z" /* unreadable */};
    QList<QString> tagIds;
    // Raw rows: names the normalizing writer would never make, but a library may hold.
    const QStringList tagNames = {"alpha",
                                  "Beta",
                                  "_x",
                                  "zeta",
                                  "Ärger",
                                  "élan",
                                  "ZZ",
                                  "a\x1f"
                                  "b",
                                  "",
                                  "[bracket",
                                  "~tilde",
                                  "10",
                                  "9"};
    for (const QString& name : tagNames) {
        tagIds.append(uuidString(QUuid::createUuid()));
        store.execute(QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)"), {tagIds.last(), name});
    }

    QList<QString> ids;
    store.inTransaction([&] {
        for (int i = 0; i < linkCount; ++i) {
            const QString id = uuidString(QUuid::createUuid());
            ids.append(id);
            store.execute(QStringLiteral("INSERT INTO links (id, title, url, type, created_at, updated_at) "
                                         "VALUES (?, ?, ?, ?, ?, ?)"),
                          {id, pick(titles), QStringLiteral("https://example.com/%1").arg(i),
                           random() % 40 == 0 ? QStringLiteral("unknown") : QStringLiteral("web"),
                           QStringLiteral("2023-12-01T00:00:00.000Z"), pick(dates)});
            const int tagCount = int(random() % 5);
            for (int t = 0; t < tagCount; ++t)
                store.execute(
                    QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)"),
                    {id, pick(tagIds)});
            const int relation = int(random() % 6);
            if (relation == 0) // both ends the same link
                store.execute(
                    QStringLiteral("INSERT INTO link_relations VALUES (?, ?, ?, ?)"),
                    {uuidString(QUuid::createUuid()), id, id, QStringLiteral("2024-01-01T00:00:00.000Z")});
            else if (relation < 3 && i > 0)
                store.addRelation(QUuid::fromString(id),
                                  QUuid::fromString(ids.at(int(random() % ids.size()))));
        }
        for (int i = 0; i < linkCount / 20; ++i)
            store.deleteLink(QUuid::fromString(ids.at(int(random() % ids.size()))));
    });
}

TEST(AllLinksStatement, ListsWhatThePlainStatementListsInTheSameOrder)
{
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        SQLiteStore store(testHome() + QStringLiteral("/library-%1.sqlite").arg(seed));
        fill(store, seed, 600);
        const QList<LinkItem> expected = store.queryLinks(linkColumnsSql() + plainAllLinksSql);
        const QList<LinkItem> actual = store.allLinks();
        ASSERT_EQ(actual.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(actual.at(i), expected.at(i))
                << "row " << i << ": " << expected.at(i).title.toStdString();
            EXPECT_EQ(actual.at(i).tags, expected.at(i).tags);
            EXPECT_EQ(actual.at(i).linkedItemCount, expected.at(i).linkedItemCount);
        }
    }
}

TEST(AllLinksStatement, AnEmptyLibraryAndALibraryWithoutTagsOrRelationsReadAlike)
{
    SQLiteStore store(libraryFile());
    EXPECT_TRUE(store.allLinks().isEmpty());
    const LinkItem plain = addLink(store, makeLink(QStringLiteral("plain")));
    const QList<LinkItem> links = store.allLinks();
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links.first(), store.queryLinks(linkColumnsSql() + plainAllLinksSql).first());
    EXPECT_TRUE(links.first().tags.isEmpty());
    EXPECT_EQ(links.first().linkedItemCount, 0);
}

} // namespace
