#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace morvane;
using test::linkItem;
using test::relation;
using test::settle;
using test::titledItems;

TEST(GraphContentTests, NewNodesWaitOnACircle)
{
    test::GraphFixture fx;
    EXPECT_EQ(fx.content.message(), QStringLiteral("Loading graph..."));
    fx.load(titledItems(1));
    EXPECT_EQ(fx.layout.placements().all(), QList<GraphPlacement>({{QPointF(182, 0), QPointF(0, 0)}}));

    fx.load(titledItems(20));
    const QList<GraphPlacement>& places = fx.layout.placements().all();
    ASSERT_EQ(places.size(), 20);
    for (qsizetype i = 1; i < places.size(); ++i) {
        const QPointF at = places[i].position, before = places[i - 1].position;
        EXPECT_NEAR(std::hypot(at.x(), at.y()), 360, 1e-9);
        const double turn = std::atan2(at.y(), at.x()) - std::atan2(before.y(), before.x());
        EXPECT_NEAR(std::remainder(turn, 2 * std::numbers::pi), std::numbers::pi / 10, 1e-9);
    }
}

// One library through every scope and filter: A–B–C related, D alone, E and F share a tag (the
// only suggestion), A is web from Safari, B and C mail (B from Mail).
TEST(GraphContentTests, ScopesFiltersAndStatusLine)
{
    test::GraphFixture fx;
    const LinkItem a = linkItem("A", LinkType::web, {}, {"a", "c"}, "Safari");
    const LinkItem b = linkItem("B", LinkType::mail, {}, {}, "Mail");
    const LinkItem c = linkItem("C", LinkType::mail, {}, {}, "Outlook");
    const LinkItem d = linkItem("D", LinkType::file);
    const LinkItem e = linkItem("E", LinkType::web, {}, {"t"});
    const LinkItem f = linkItem("F", LinkType::web, {}, {"t"});
    fx.load({a, b, c, d, e, f}, {relation(a, b), relation(c, b)});
    EXPECT_EQ(fx.content.message(), QStringLiteral("6 of 6 links, 2 relations, 1 suggestions"));

    using Scope = GraphScope;
    const struct {
        const char* name;
        Scope scope;
        std::set<LinkType> types;
        QSet<QString> apps;
        QSet<QString> tags;
        std::optional<QUuid> selected;
        QStringList shown;
        QString status;
    } cases[] = {
        // clang-format off
        {"orphans", Scope::orphans, {}, {}, {}, {}, {"D", "E", "F"}, "3 of 6 links, 2 relations, 1 suggestions"},
        {"weak", Scope::weakLinks, {}, {}, {}, {}, {"A", "C", "D", "E", "F"}, {}},
        {"suggestions", Scope::suggestions, {}, {}, {}, {}, {"E", "F"}, "2 links with 1 suggested relation"},
        {"suggestions, filtered", Scope::suggestions, {}, {}, {"t", "a"}, {}, {"E", "F"}, {}},
        {"none in suggestions", Scope::suggestions, {LinkType::mail}, {}, {}, {}, {}, "0 links with 0 suggested relations"},
        {"neighbourhood without a centre", Scope::currentNeighborhood, {}, {}, {}, {}, {"A", "B", "C", "D", "E", "F"}, {}},
        {"neighbourhood of B", Scope::currentNeighborhood, {}, {}, {}, b.id, {"A", "B", "C"}, {}},
        {"neighbourhood of hidden B", Scope::currentNeighborhood, {LinkType::web}, {}, {}, b.id, {"A"}, {}},
        {"web and mail from Mail", Scope::all, {LinkType::web, LinkType::mail}, {"Mail"}, {}, {}, {"B"}, {}},
        {"tag b or c", Scope::all, {}, {}, {"b", "c"}, {}, {"A"}, {}},
        {"nothing", Scope::all, {LinkType::contact}, {}, {}, b.id, {}, "0 of 6 links, 2 relations, 1 suggestions"},
        // clang-format on
    };
    for (const auto& x : cases) {
        fx.filters.setTypeFilters(x.types);
        fx.filters.setAppFilters(x.apps);
        fx.filters.setTagFilters(x.tags);
        if (x.selected)
            fx.navigation.centerOnNode(*x.selected, false);
        fx.filters.setScope(x.scope);
        EXPECT_EQ(fx.shownTitles(), x.shown) << x.name;
        if (!x.status.isEmpty()) {
            EXPECT_EQ(fx.content.message(), x.status) << x.name;
        }
        for (const GraphEdge& edge : fx.content.edges())
            EXPECT_TRUE(fx.content.hasNodeItem(edge.from) && fx.content.hasNodeItem(edge.to)) << x.name;
        if (fx.selection.selectedNodeID()) {
            EXPECT_TRUE(fx.content.hasNodeItem(*fx.selection.selectedNodeID())) << x.name;
        }
    }
    EXPECT_FALSE(fx.selection.selectedNodeID());
    // Two suggestions shown; "All" is no scope.
    fx.load({a, b, c, d, e, f, linkItem("G", LinkType::web, {}, {"t"})}, {});
    fx.filters.setTypeFilters({});
    fx.filters.setScope(Scope::suggestions);
    EXPECT_EQ(fx.content.message(), QStringLiteral("3 links with 3 suggested relations"));
    EXPECT_EQ(fx.content.availableTags(), QStringList({"a", "c", "t"}));
    EXPECT_EQ(fx.content.availableSourceApps(), QStringList({"Mail", "Outlook", "Safari"}));
    EXPECT_EQ(graphScopeFromRawValue("All"), std::nullopt);
    EXPECT_EQ(graphScopeFromRawValue("weakLinks"), Scope::weakLinks);
}

TEST(GraphContentTests, NodesKeepTheirPlacesAcrossReloadsAndScopes)
{
    test::GraphFixture fx;
    const QList<LinkItem> items = titledItems(4);
    const QList<LinkRelation> relations{relation(items[0], items[1])};
    const GraphPlacements& places = fx.layout.placements();
    fx.load(items, relations);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i)
            fx.layout.step();
        const QList<GraphNode> before = fx.content.nodes();
        const QList<GraphPlacement> placedBefore = places.all();
        fx.loader.reload();
        EXPECT_EQ(fx.content.nodes(), before) << "round " << round;
        EXPECT_EQ(places.all(), placedBefore) << "round " << round;
    }

    // A drag that ends while a load runs keeps its pin; the node stays through scope changes.
    fx.layout.dragNode(items[3].id, {500, -500});
    fx.deferLoads = true;
    fx.loader.reload();
    fx.layout.endDrag(items[3].id);
    fx.finishLoad(0, items, relations);
    EXPECT_TRUE(fx.layout.userPositionedNodeIDs().contains(items[3].id));
    fx.filters.setScope(GraphScope::weakLinks);
    // The related pair is hidden for a while and comes back where it was last seen.
    const QPointF firstAt = fx.positionOf(items[0].id);
    fx.filters.setScope(GraphScope::orphans);
    ASSERT_FALSE(places.contains(items[0].id));
    fx.layout.step();
    fx.filters.setScope(GraphScope::all);
    EXPECT_EQ(fx.positionOf(items[0].id), firstAt);
    fx.layout.step();
    EXPECT_EQ(fx.positionOf(items[3].id), QPointF(500, -500));

    // Rebuilding the neighbourhood (once a second) leaves every node where the layout moved it.
    fx.navigation.centerOnNode(items[0].id, false);
    fx.filters.setScope(GraphScope::currentNeighborhood);
    const QList<GraphPlacement> start = places.all();
    for (int second = 0; second < 3; ++second) {
        for (int i = 0; i < 30; ++i)
            fx.layout.step();
        const QList<GraphPlacement> moved = places.all();
        fx.content.rebuild();
        EXPECT_EQ(places.all(), moved);
    }
    for (qsizetype i = 0; i < start.size(); ++i)
        EXPECT_NE(places.position(i), start[i].position);
}

// The view finds each edge's ends through the model's index: after every rebuild (a scope, another
// order, a large library worked out away from the window's thread) it names each shown node's place
// and link, and nodes the layout moved while a large library was worked out keep their places.
TEST(GraphContentTests, TheNodeIndexNamesEachShownNodesPlace)
{
    test::GraphFixture fx;
    const GraphPlacements& places = fx.layout.placements();
    const auto indexed = [&](const char* when) {
        const QList<GraphNode>& nodes = fx.content.nodes();
        EXPECT_EQ(fx.content.nodeIndex().size(), nodes.size()) << when;
        EXPECT_EQ(places.size(), nodes.size()) << when;
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            ASSERT_EQ(fx.content.nodeIndex().value(nodes[i].id, -1), i) << when;
            ASSERT_EQ(fx.content.nodeItem(nodes[i].id)->title, nodes[i].title) << when;
        }
    };
    QList<LinkItem> items = titledItems(5000); // a large library: worked out on the pool
    const QList<LinkRelation> relations{relation(items[1], items[2]), relation(items[4000], items[2])};
    fx.load(items, relations);
    ASSERT_TRUE(settle([&] { return !fx.loader.isLoading(); }));
    indexed("loaded");
    fx.filters.setScope(GraphScope::weakLinks);
    fx.filters.setScope(GraphScope::orphans);
    EXPECT_FALSE(fx.content.nodeIndex().contains(items[2].id));
    indexed("orphans");
    fx.filters.setScope(GraphScope::all);
    indexed("all");

    std::reverse(items.begin(), items.end());
    fx.load(items, relations);
    ASSERT_TRUE(settle([&] { return !fx.loader.isLoading(); }));
    indexed("another order");
    EXPECT_EQ(fx.content.nodes().first().id, items.first().id);

    fx.deferLoads = true;
    fx.loader.reload();
    fx.finishLoad(0, items, relations);
    fx.layout.step();
    QList<GraphPlacement> moved = places.all();
    ASSERT_TRUE(settle([&] { return !fx.loader.isLoading(); }));
    indexed("moved while loading");
    int kept = 0;
    for (qsizetype i = 0; i < moved.size(); ++i)
        kept += places.all()[i] == moved[i];
    EXPECT_EQ(kept, moved.size());

    // A link added in front moves every other node one place down the list: each still keeps where
    // the layout took it while the library was worked out (held back until the layout has stepped),
    // and the new one waits on the circle.
    const QList<GraphNode> before = fx.content.nodes();
    items.prepend(test::linkItem("new"));
    std::optional<test::BusyPool> held(std::in_place, *fx.pool, fx.pool->parts());
    fx.loader.reload();
    fx.finishLoad(1, items, relations);
    fx.layout.step();
    moved = places.all();
    held.reset();
    ASSERT_TRUE(settle([&] { return !fx.loader.isLoading(); }));
    indexed("one added while loading");
    EXPECT_EQ(fx.positionOf(items.first().id), QPointF(360, 0));
    kept = 0;
    for (qsizetype i = 0; i < before.size(); ++i)
        kept += fx.positionOf(before[i].id) == moved[i].position;
    EXPECT_EQ(kept, before.size());
}
