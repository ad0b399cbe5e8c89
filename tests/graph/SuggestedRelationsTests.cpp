#include "GraphTestSupport.h"
#include "foundation/Uuid.h"
#include "graph/GraphLibrary.h"
#include "graph/SuggestedRelations.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvane;
using test::linkItem;

namespace {

LinkItem atPath(LinkType type, const QString& path)
{
    LinkItem item = linkItem(QStringLiteral("x"), type);
    item.lastKnownPath = path;
    return item;
}

// What ranking must equal: every pair in title order, weighed one by one.
QList<GraphEdge> everyPairRanked(const QList<LinkItem>& items, const QList<LinkRelation>& relations)
{
    const GraphLibrary library = GraphLibrary::derive(items, relations);
    QSet<QString> related;
    for (const LinkRelation& r : relations)
        related.insert(LinkRelation::recordName(r.fromLinkID, r.toLinkID));
    const std::vector<qsizetype> order = SuggestedRelations::pairingOrder(items);
    std::vector<std::pair<int, GraphEdge>> candidates;
    for (size_t i = 0; i < order.size(); ++i) {
        for (size_t j = i + 1; j < order.size(); ++j) {
            const LinkItem& a = items[order[i]];
            const LinkItem& b = items[order[j]];
            const auto reason = SuggestedRelations::reason(a, b);
            if (!reason || related.contains(LinkRelation::recordName(a.id, b.id)))
                continue;
            candidates.push_back({SuggestedRelations::score(*reason, library.degreeByID.value(a.id),
                                                            library.degreeByID.value(b.id)),
                                  {SuggestedRelations::edgeID(a.id, b.id, reason->text), a.id, b.id,
                                   GraphEdgeKind::suggestion(reason->text)}});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& x, const auto& y) {
        return x.first != y.first ? x.first > y.first : uuidString(x.second.id) < uuidString(y.second.id);
    });
    QList<GraphEdge> edges;
    for (size_t i = 0; i < candidates.size() && i < size_t(SuggestedRelations::limit); ++i)
        edges.append(candidates[i].second);
    return edges;
}

} // namespace

TEST(SuggestedRelationsTests, ReasonIsTheFirstKeyThePairShares)
{
    const auto web = [](const char* url) { return linkItem(QStringLiteral("w"), LinkType::web, url); };
    const auto app = [](LinkType type, const char* sourceApp) {
        return linkItem(QStringLiteral("a"), type, {}, {}, sourceApp);
    };
    LinkItem taggedA = atPath(LinkType::file, QStringLiteral("/x/y/a.pdf"));
    taggedA.tags = {QStringLiteral("b"), QStringLiteral("A")};
    LinkItem taggedB = atPath(LinkType::file, QStringLiteral("/x/y/b.pdf"));
    taggedB.tags = {QStringLiteral("A"), QStringLiteral("b")};
    LinkItem encoded =
        linkItem(QStringLiteral("e"), LinkType::file, QStringLiteral("file:///x/my%20docs/a.pdf"));
    const struct {
        const char* name;
        LinkItem first;
        LinkItem second;
        std::optional<QString> reason;
    } cases[] = {
        {"shared tags, upper case first", taggedA, taggedB, QStringLiteral("#A")},
        {"siblings", atPath(LinkType::file, "/x/y/a.pdf"), atPath(LinkType::file, "/x/y/b.pdf"),
         "same folder"},
        {"folder beside a file", atPath(LinkType::folder, "/x/y/z"), atPath(LinkType::file, "/x/y/a.pdf"),
         "same folder"},
        {"file inside the folder", atPath(LinkType::folder, "/x/y/z"), atPath(LinkType::file, "/x/y/z/a.pdf"),
         std::nullopt},
        {"dot components", atPath(LinkType::file, "/x/q/../y/./a.pdf"), atPath(LinkType::file, "/x/y/b.pdf"),
         "same folder"},
        {"decoded url path", encoded, atPath(LinkType::file, "/x/my docs/b.pdf"), "same folder"},
        {"www and case", web("https://www.Example.com/a"), web("https://example.com/b"), "same domain"},
        {"www twice", web("https://www.www.example.com/a"), web("https://example.com/b"), std::nullopt},
        {"mail and web of one app", app(LinkType::mail, "Mail"), app(LinkType::web, "Mail"),
         "same app context"},
        {"two web pages of one app", app(LinkType::web, "Mail"), app(LinkType::web, "Mail"), std::nullopt},
        {"no app", app(LinkType::mail, ""), app(LinkType::contact, ""), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto reason = SuggestedRelations::reason(c.first, c.second);
        EXPECT_EQ(reason ? std::optional(reason->text) : std::nullopt, c.reason) << c.name;
    }
    const auto tagReason = *SuggestedRelations::reason(taggedA, taggedB);
    EXPECT_EQ(SuggestedRelations::score(tagReason, 2, 5), 7);
    EXPECT_EQ(SuggestedRelations::score(tagReason, 2, 1), 10);
}

TEST(SuggestedRelationsTests, PairsInTitleOrderWithStableIdsAndNoneForRelatedLinks)
{
    const QStringList tag{QStringLiteral("t")};
    const LinkItem beta = linkItem(QStringLiteral("beta"), LinkType::web, {}, tag);
    const LinkItem alpha = linkItem(QStringLiteral("Alpha"), LinkType::web, {}, tag);
    const LinkItem gamma = linkItem(QStringLiteral("gamma"), LinkType::web, {}, tag);
    const QList<LinkRelation> relations{test::relation(gamma, alpha)};

    const QList<GraphEdge> edges = SuggestedRelations::rank({beta, alpha, gamma}, relations, {});
    ASSERT_EQ(edges.size(), 2);
    for (const GraphEdge& edge : edges) {
        EXPECT_FALSE(edge.joins(alpha.id, gamma.id));
        EXPECT_EQ(edge.from, edge.joins(alpha.id, beta.id) ? alpha.id : beta.id) << "first in title order";
        EXPECT_EQ(edge.id, SuggestedRelations::edgeID(edge.from, edge.to, QStringLiteral("#t")));
    }
    EXPECT_EQ(SuggestedRelations::rank({gamma, beta, alpha}, relations, {}), edges) << "a later load";
    EXPECT_NE(SuggestedRelations::edgeID(alpha.id, beta.id, QStringLiteral("#t")),
              SuggestedRelations::edgeID(beta.id, alpha.id, QStringLiteral("#t")));
    EXPECT_NE(SuggestedRelations::edgeID(alpha.id, beta.id, QStringLiteral("#t")),
              SuggestedRelations::edgeID(alpha.id, beta.id, QStringLiteral("same domain")));
}

// Grouping by key must find exactly what comparing every pair finds, the cut at 80 included.
TEST(SuggestedRelationsTests, RankingEqualsTheScanOfEveryPair)
{
    const QStringList tags{"a", "A", "b", "report", "ß"};
    const QStringList paths{"/home/u/a.txt", "/home/u/b.txt", "/home/v/c.txt", "/home/u", "/home/./u/d.txt"};
    const QStringList hosts{"https://www.Example.com/1", "https://example.com/2", "https://other.org",
                            "mailto:x"};
    const QStringList apps{"", "Mail", "Browser", "Contacts"};
    const QStringList titles{"alpha", "Alpha", "beta", "Émile", "zeta", "Zeta"};
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        const auto pick = [&](const QStringList& list) { return list[random() % list.size()]; };
        QList<LinkItem> items;
        const int count = seed <= 2 ? 12 * int(seed) : 90; // the small ones keep every suggestion
        for (int i = 0; i < count; ++i) {
            const LinkType type = allLinkTypes()[random() % allLinkTypes().size()];
            LinkItem item =
                linkItem(pick(titles), type, type == LinkType::web ? pick(hosts) : QString(), {}, pick(apps));
            if (random() % 3 == 0)
                item.tags = {pick(tags), pick(tags)};
            if (isFileLike(type))
                item.lastKnownPath = pick(paths);
            items.append(item);
        }
        QList<LinkRelation> relations;
        for (int i = 0; i < count / 2; ++i)
            relations.append(test::relation(items[random() % count], items[random() % count]));
        const QList<GraphEdge> expected = everyPairRanked(items, relations);
        EXPECT_EQ(GraphLibrary::derive(items, relations).suggestedEdges, expected) << "seed " << seed;
        EXPECT_EQ(expected.size() == SuggestedRelations::limit, seed > 2);
    }
}
