// The full read gathers tags and relation counts in passes of their own, and the search and recent-links
// statements choose their page of 200 before computing them; these tests hold them to the plain
// statements, which compute everything for every row, on libraries built to make them differ.
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainAllLinksSql = "FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC";
const QString plainRecentSql =
    "FROM links ORDER BY COALESCE(last_opened_at, updated_at) DESC, title COLLATE NOCASE ASC LIMIT 200";
const QString plainSearchSql =
    "FROM links WHERE title LIKE ? OR url LIKE ? OR type LIKE ? OR notes LIKE ? OR EXISTS "
    "(SELECT 1 FROM tags INNER JOIN link_tags ON link_tags.tag_id = tags.id "
    "WHERE link_tags.link_id = links.id AND tags.name LIKE ?) "
    "ORDER BY CASE WHEN title LIKE ? THEN 0 ELSE 1 END, title COLLATE NOCASE ASC LIMIT 200";

TEST(StatementEquivalence, FullReadsAndSearchesListWhatThePlainStatementsListInTheSameOrder)
{
    {
        SQLiteStore store(libraryFile()); // empty, then without tags or relations
        EXPECT_TRUE(store.reads().allLinks().isEmpty());
        addLink(store, makeLink("plain"));
        SQLiteConnection raw = rawLibrary(store);
        EXPECT_TRUE(store.reads().allLinks() == queryLinks(raw, linkColumnsSql() + plainAllLinksSql));
    }
    // The statements take the query trimmed, and its own % and _ as wildcards.
    const QStringList queries = {"",    " \t", "alpha",  " ALPHA\n", "a",    "%",   "_",
                                 "a_b", "50%", "report", "t_x",      "mail", "web", "zeta",
                                 "zz",  "ünï", "site3",  "e",        "beta"};
    for (const unsigned seed : {1u, 2u, 3u}) {
        SQLiteStore store(testHome() + QStringLiteral("/library-%1.sqlite").arg(seed));
        fillVariedLibrary(store, seed, 700);
        SQLiteConnection raw = rawLibrary(store);
        const QList<LinkItem> all = queryLinks(raw, linkColumnsSql() + plainAllLinksSql);
        EXPECT_EQ(titles(store.reads().allLinks()), titles(all)) << "seed " << seed;
        EXPECT_TRUE(store.reads().allLinks() == all) << "seed " << seed;
        for (const QString& query : queries) {
            SCOPED_TRACE(QStringLiteral("seed %1, query \"%2\"").arg(seed).arg(query).toStdString());
            const QString trimmed = query.trimmed();
            const QList<LinkItem> expected = trimmed.isEmpty()
                                                 ? queryLinks(raw, linkColumnsSql() + plainRecentSql)
                                                 : queryLinks(raw, linkColumnsSql() + plainSearchSql,
                                                              QList<SQLiteValue>(6, '%' + trimmed + '%'));
            const QList<LinkItem> actual = store.reads().searchLinks(query);
            EXPECT_EQ(titles(actual), titles(expected));
            EXPECT_TRUE(actual == expected);
        }
    }
}

// A full read may keep a link's texts in one block; changing or dropping one must leave the others be.
TEST(StatementEquivalence, TheTextsOfAFullReadChangeOneByOne)
{
    SQLiteStore store(libraryFile());
    LinkItem added = makeLink("Title", "https://example.com/page");
    added.notes = "Some notes";
    addLink(store, added);
    LinkItem read = store.reads().allLinks().takeFirst();
    read.title[0] = u't';
    read.title += u" changed";
    EXPECT_EQ(read.url, added.url);
    EXPECT_EQ(read.notes, added.notes);
    read.title.clear();
    read.notes = QString();
    read.url += QString(300, u'x');
    EXPECT_EQ(read.url, added.url + QString(300, u'x'));
    EXPECT_EQ(store.reads().allLinks().first(), added);
}

} // namespace
