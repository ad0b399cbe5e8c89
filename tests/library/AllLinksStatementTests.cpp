// The full read gathers tags and relation counts in passes of their own; these tests hold it to the plain
// statement, which computes them per row.
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainAllLinksSql =
    QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC");

TEST(AllLinksStatement, ListsWhatThePlainStatementListsInTheSameOrder)
{
    {
        SQLiteStore store(libraryFile()); // empty, then without tags or relations
        EXPECT_TRUE(store.allLinks().isEmpty());
        addLink(store, makeLink(QStringLiteral("plain")));
        EXPECT_TRUE(store.allLinks() == store.queryLinks(linkColumnsSql() + plainAllLinksSql));
    }
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        SQLiteStore store(testHome() + QStringLiteral("/library-%1.sqlite").arg(seed));
        fillVariedLibrary(store, seed, 600);
        const QList<LinkItem> expected = store.queryLinks(linkColumnsSql() + plainAllLinksSql);
        const QList<LinkItem> actual = store.allLinks();
        ASSERT_EQ(actual.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            ASSERT_TRUE(actual.at(i) == expected.at(i))
                << "row " << i << ": " << expected.at(i).title.toStdString();
    }
}

} // namespace
