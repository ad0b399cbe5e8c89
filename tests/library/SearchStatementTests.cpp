// The search and recent-links statements choose their page of 200 before computing tags and relation
// counts. These tests hold them to the plain statements, which compute everything for every candidate,
// on libraries built to provoke differences: wildcards, tag-only matches, titles equal but for case,
// equal dates, undecodable rows and more than one page of matches.
#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString plainRecentSql = QStringLiteral(
    "FROM links ORDER BY COALESCE(last_opened_at, updated_at) DESC, title COLLATE NOCASE ASC LIMIT 200");
const QString plainSearchSql =
    QStringLiteral("FROM links WHERE title LIKE ? OR url LIKE ? OR type LIKE ? OR notes LIKE ? OR EXISTS "
                   "(SELECT 1 FROM tags "
                   "INNER JOIN link_tags ON link_tags.tag_id = tags.id WHERE link_tags.link_id = links.id "
                   "AND tags.name LIKE ?) "
                   "ORDER BY CASE WHEN title LIKE ? THEN 0 ELSE 1 END, title COLLATE NOCASE ASC LIMIT 200");

void fill(SQLiteStore& store, unsigned seed)
{
    std::mt19937 random(seed);
    const auto pick = [&](const QStringList& list) {
        return list.at(std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(random));
    };
    const QStringList titles = {
        "Alpha", "alpha", "ALPHA",   "Beta report",   "beta Report", "a_b", "a%b",   "50% off",
        "Zed",   "zed",   "Ünïcode", "Mail from Bob", "web notes",   "",    "Report"};
    const QStringList notes = {"", "", "alpha in notes", "a report", "50%", "under_score", "nothing here"};
    const QStringList dates = {"2024-01-01T00:00:00.000Z", "2024-01-01T00:00:00.000Z",
                               "2024-02-01T00:00:00.000Z", "2024-03-01T12:00:00.500Z",
                               "2024-03-01T12:00:00Z" /* unreadable */};
    const QStringList tags = {"alpha", "report", "50%", "t_x", "mail", "zeta", "Beta"};
    const QList<LinkType> types = {LinkType::web, LinkType::mail, LinkType::file, LinkType::obsidian};

    QList<QUuid> ids;
    store.inTransaction([&] {
        for (int i = 0; i < 700; ++i) {
            const QUuid id = QUuid::createUuid();
            ids.append(id);
            const QString updated = pick(dates);
            const bool opened = random() % 4 == 0;
            store.execute(
                QStringLiteral("INSERT INTO links (id, title, url, type, notes, created_at, updated_at, "
                               "last_opened_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                {uuidString(id), pick(titles),
                 QStringLiteral("https://site%1.example/%2").arg(i % 7).arg(pick(notes)),
                 random() % 50 == 0 ? QStringLiteral("unknown") : rawValue(types.at(int(random() % 4))),
                 pick(notes), QStringLiteral("2023-12-01T00:00:00.000Z"), updated,
                 opened ? std::optional<QString>(pick(dates)) : std::nullopt});
            const int tagCount = int(random() % 3);
            QStringList chosen;
            for (int t = 0; t < tagCount; ++t)
                chosen.append(pick(tags));
            store.replaceTags(chosen, id);
            if (i > 0 && random() % 3 == 0)
                store.addRelation(id, ids.at(int(random() % ids.size())));
        }
        // Gaps in the row order, and rows written after them.
        for (int i = 0; i < 40; ++i)
            store.deleteLink(ids.at(int(random() % ids.size())));
    });
}

TEST(SearchStatements, ListTheSameLinksInTheSameOrderAsThePlainStatements)
{
    const QStringList queries = {"",    "alpha", "ALPHA", "a",    "%",  "_",   "a_b",   "50%", "report",
                                 "t_x", "mail",  "web",   "zeta", "zz", "ünï", "site3", "e",   "beta"};
    for (const unsigned seed : {1u, 2u, 3u}) {
        SQLiteStore store(testHome() + QStringLiteral("/library-%1.sqlite").arg(seed));
        fill(store, seed);
        for (const QString& query : queries) {
            SCOPED_TRACE(QStringLiteral("seed %1, query \"%2\"").arg(seed).arg(query).toStdString());
            QList<LinkItem> expected;
            if (query.isEmpty()) {
                expected = store.queryLinks(linkColumnsSql() + plainRecentSql);
            } else {
                const QString like = u'%' + query + u'%';
                expected = store.queryLinks(linkColumnsSql() + plainSearchSql, QStringList(6, like));
            }
            const QList<LinkItem> actual = store.searchLinks(query);
            EXPECT_EQ(titles(actual), titles(expected));
            EXPECT_TRUE(actual == expected);
        }
    }
}

} // namespace
