// The search and recent-links statements choose their page of 200 before computing tags and relation
// counts; these tests hold them to the plain statements, which compute everything for every candidate.
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainRecentSql = QStringLiteral(
    "FROM links ORDER BY COALESCE(last_opened_at, updated_at) DESC, title COLLATE NOCASE ASC LIMIT 200");
const QString plainSearchSql =
    QStringLiteral("FROM links WHERE title LIKE ? OR url LIKE ? OR type LIKE ? OR notes LIKE ? OR EXISTS "
                   "(SELECT 1 FROM tags INNER JOIN link_tags ON link_tags.tag_id = tags.id "
                   "WHERE link_tags.link_id = links.id AND tags.name LIKE ?) "
                   "ORDER BY CASE WHEN title LIKE ? THEN 0 ELSE 1 END, title COLLATE NOCASE ASC LIMIT 200");

TEST(SearchStatements, ListTheSameLinksInTheSameOrderAsThePlainStatements)
{
    const QStringList queries = {"",    "alpha", "ALPHA", "a",    "%",  "_",   "a_b",   "50%", "report",
                                 "t_x", "mail",  "web",   "zeta", "zz", "ünï", "site3", "e",   "beta"};
    for (const unsigned seed : {1u, 2u, 3u}) {
        SQLiteStore store(testHome() + QStringLiteral("/library-%1.sqlite").arg(seed));
        fillVariedLibrary(store, seed, 700);
        for (const QString& query : queries) {
            SCOPED_TRACE(QStringLiteral("seed %1, query \"%2\"").arg(seed).arg(query).toStdString());
            const QList<LinkItem> expected =
                query.isEmpty()
                    ? store.queryLinks(linkColumnsSql() + plainRecentSql)
                    : store.queryLinks(linkColumnsSql() + plainSearchSql, QStringList(6, '%' + query + '%'));
            const QList<LinkItem> actual = store.searchLinks(query);
            EXPECT_EQ(titles(actual), titles(expected));
            EXPECT_TRUE(actual == expected);
        }
    }
}

} // namespace
