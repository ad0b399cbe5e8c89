#include "GraphTestSupport.h"
#include "library/StoreError.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

using namespace morvane;
using test::linkItem;
using test::relation;
using test::settle;

namespace {

QList<LinkItem> titled(int count)
{
    QList<LinkItem> items;
    for (int i = 0; i < count; ++i)
        items.append(linkItem(QStringLiteral("link %1").arg(i)));
    return items;
}

} // namespace

TEST(GraphViewModelTests, NewNodesWaitOnACircle)
{
    test::GraphFixture fx;
    EXPECT_EQ(fx.model.message(), QStringLiteral("Loading graph..."));
    fx.load(titled(1));
    EXPECT_EQ(fx.model.nodes()[0].position, QPointF(182, 0));
    EXPECT_EQ(fx.model.nodes()[0].velocity, QPointF(0, 0));

    fx.load(titled(20));
    const QList<GraphNode>& nodes = fx.model.nodes();
    for (qsizetype i = 1; i < nodes.size(); ++i) {
        EXPECT_NEAR(std::hypot(nodes[i].position.x(), nodes[i].position.y()), 360, 1e-9);
        const double turn = std::atan2(nodes[i].position.y(), nodes[i].position.x()) -
                            std::atan2(nodes[i - 1].position.y(), nodes[i - 1].position.x());
        EXPECT_NEAR(std::remainder(turn, 2 * std::numbers::pi), std::numbers::pi / 10, 1e-9);
    }
}

// One library through every scope and filter: A–B–C related, D alone, E and F share a tag (the
// only suggestion), A is web from Safari, B and C mail (B from Mail).
TEST(GraphViewModelTests, ScopesFiltersAndStatusLine)
{
    test::GraphFixture fx;
    const LinkItem a = linkItem("A", LinkType::web, {}, {"a", "c"}, "Safari");
    const LinkItem b = linkItem("B", LinkType::mail, {}, {}, "Mail");
    const LinkItem c = linkItem("C", LinkType::mail, {}, {}, "Outlook");
    const LinkItem d = linkItem("D", LinkType::file);
    const LinkItem e = linkItem("E", LinkType::web, {}, {"t"});
    const LinkItem f = linkItem("F", LinkType::web, {}, {"t"});
    fx.load({a, b, c, d, e, f}, {relation(a, b), relation(c, b)});
    EXPECT_EQ(fx.model.message(), QStringLiteral("6 of 6 links, 2 relations, 1 suggestions"));

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
        fx.model.setTypeFilters(x.types);
        fx.model.setAppFilters(x.apps);
        fx.model.setTagFilters(x.tags);
        if (x.selected)
            fx.model.centerOnNode(*x.selected, false);
        fx.model.setScope(x.scope);
        EXPECT_EQ(fx.shownTitles(), x.shown) << x.name;
        if (!x.status.isEmpty()) {
            EXPECT_EQ(fx.model.message(), x.status) << x.name;
        }
        for (const GraphEdge& edge : fx.model.edges())
            EXPECT_TRUE(fx.model.hasNodeItem(edge.from) && fx.model.hasNodeItem(edge.to)) << x.name;
        if (fx.model.selectedNodeID()) {
            EXPECT_TRUE(fx.model.hasNodeItem(*fx.model.selectedNodeID())) << x.name;
        }
    }
    EXPECT_FALSE(fx.model.selectedNodeID());
    // Two suggestions shown; "All" is no scope.
    fx.load({a, b, c, d, e, f, linkItem("G", LinkType::web, {}, {"t"})}, {});
    fx.model.setTypeFilters({});
    fx.model.setScope(Scope::suggestions);
    EXPECT_EQ(fx.model.message(), QStringLiteral("3 links with 3 suggested relations"));
    EXPECT_EQ(fx.model.availableTags(), QStringList({"a", "c", "t"}));
    EXPECT_EQ(fx.model.availableSourceApps(), QStringList({"Mail", "Outlook", "Safari"}));
    EXPECT_EQ(graphScopeFromRawValue("All"), std::nullopt);
    EXPECT_EQ(graphScopeFromRawValue("weakLinks"), Scope::weakLinks);
}

TEST(GraphViewModelTests, LoadsTheStoreAndFollowsItsChanges)
{
    test::GraphFixture fx;
    GraphViewModel model(
        *fx.store, fx.opening,
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{}), fx.clock);
    model.reload();
    ASSERT_TRUE(settle([&] { return model.message() != QStringLiteral("Loading graph..."); }));
    EXPECT_EQ(model.message(), QStringLiteral("No links yet. Add links and relations to grow the graph."));

    model.startObservingStore();
    model.startObservingStore();
    const LinkItem one = fx.store->addLink("One", "https://example.com/1", {}, "x").result();
    const LinkItem two = fx.store->addLink("Two", "https://example.com/2", {}, {}).result();
    ASSERT_TRUE(settle([&] { return model.nodes().size() == 2; }));
    fx.store->addRelation(one.id, two.id).waitForFinished();
    fx.store->notifyDidMutate(false);
    ASSERT_TRUE(settle([&] { return model.allRelations().size() == 1; }));
    EXPECT_EQ(model.allDegreeByID().value(one.id), 1);
    EXPECT_EQ(model.edges().size(), 1);
    EXPECT_EQ(model.message(), QStringLiteral("2 of 2 links, 1 relations, 0 suggestions"));
}

TEST(GraphViewModelTests, NewestLoadWinsAndAFailedLoadKeepsTheGraph)
{
    test::GraphFixture fx;
    fx.deferLoads = true;
    fx.model.reload();
    fx.model.reload();
    fx.finishLoad(1, titled(2));
    fx.finishLoad(0, titled(5));
    EXPECT_EQ(fx.model.nodes().size(), 2);
    EXPECT_EQ(fx.model.message(), QStringLiteral("2 of 2 links, 0 relations, 0 suggestions"));

    // A load asked for without a message while one with a message is on its way carries it on.
    fx.model.reload(QStringLiteral("Deleted."));
    fx.model.reload();
    fx.finishLoad(3, titled(3));
    fx.finishLoad(2, titled(4));
    EXPECT_EQ(fx.model.message(), QStringLiteral("Deleted."));
    EXPECT_EQ(fx.model.nodes().size(), 3);
    fx.model.reload();
    fx.pendingLoads[4]->setException(
        std::make_exception_ptr(StoreError(StoreError::Kind::step, "disk I/O error")));
    fx.pendingLoads[4]->finish();
    ASSERT_TRUE(settle([&] { return fx.model.message().contains("disk I/O error"); }));
    EXPECT_EQ(fx.model.nodes().size(), 3);
}

TEST(GraphViewModelTests, NodesKeepTheirPlacesAcrossReloadsAndScopes)
{
    test::GraphFixture fx;
    const QList<LinkItem> items = titled(4);
    const QList<LinkRelation> relations{relation(items[0], items[1])};
    fx.load(items, relations);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i)
            fx.model.stepLayout();
        const QList<GraphNode> before = fx.model.nodes();
        fx.model.reload();
        EXPECT_EQ(fx.model.nodes(), before) << "round " << round;
    }

    // A drag that ends while a load runs keeps its pin; the node stays through scope changes.
    fx.model.dragNode(items[3].id, {500, -500});
    fx.deferLoads = true;
    fx.model.reload();
    fx.model.endDrag(items[3].id);
    fx.finishLoad(0, items, relations);
    EXPECT_TRUE(fx.model.userPositionedNodeIDs().contains(items[3].id));
    fx.model.setScope(GraphScope::weakLinks);
    fx.model.setScope(GraphScope::orphans);
    fx.model.setScope(GraphScope::all);
    fx.model.stepLayout();
    EXPECT_EQ(fx.positionOf(items[3].id), QPointF(500, -500));

    // Rebuilding the neighbourhood (once a second) leaves every node where the layout moved it.
    fx.model.centerOnNode(items[0].id, false);
    fx.model.setScope(GraphScope::currentNeighborhood);
    const QList<GraphNode> start = fx.model.nodes();
    for (int second = 0; second < 3; ++second) {
        for (int i = 0; i < 30; ++i)
            fx.model.stepLayout();
        const QList<GraphNode> moved = fx.model.nodes();
        fx.model.rebuild();
        EXPECT_EQ(fx.model.nodes(), moved);
    }
    for (qsizetype i = 0; i < start.size(); ++i)
        EXPECT_NE(fx.model.nodes()[i].position, start[i].position);
}

TEST(GraphViewModelTests, TimerAndObserverLiveOnlyWhileShown)
{
    test::GraphFixture fx;
    fx.load(titled(3));
    QSignalSpy steps(&fx.model, &GraphViewModel::nodesChanged);
    for (int appear = 0; appear < 2; ++appear) {
        fx.model.reload();
        fx.model.startObservingStore();
        fx.model.startLayoutTimer();
    }
    steps.clear();
    fx.clock->advance(GraphViewModel::layoutInterval * 3);
    EXPECT_EQ(steps.size(), 3) << "one timer, one signal per step";

    const int loads = fx.loadsStarted;
    fx.store->notifyDidMutate(false);
    ASSERT_TRUE(settle([&] { return fx.loadsStarted == loads + 1; })) << "one observer";
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.loadsStarted, loads + 1);

    fx.model.stop();
    EXPECT_FALSE(fx.model.isLayoutTimerRunning());
    steps.clear();
    fx.clock->advance(GraphViewModel::layoutInterval * 3);
    fx.store->notifyDidMutate(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(steps.size(), 0);
    EXPECT_EQ(fx.loadsStarted, loads + 1);
}

namespace {

// Links as the benchmark library makes them: half as many relations as links, between random links;
// `hub` more links all related to the first, whose fan on its own would turn for ever.
std::pair<QList<LinkItem>, QList<LinkRelation>> generatedLibrary(int links, int hub)
{
    std::mt19937 random(5);
    const QList<LinkItem> items = titled(links + hub);
    QList<LinkRelation> relations;
    std::uniform_int_distribution<int> pick(0, links - 1);
    for (int r = 0; r < links / 2; ++r) {
        const int from = pick(random), to = pick(random);
        if (from != to)
            relations.append(relation(items[from], items[to]));
    }
    for (int h = 0; h < hub; ++h)
        relations.append(relation(items[0], items[links + h]));
    return {items, relations};
}

// Steps the layout at its own pace until it rests; the number of steps it took, or -1.
int stepsToRest(test::GraphFixture& fx)
{
    for (int step = 0; step < 2000; ++step) {
        if (!fx.model.isLayoutTimerRunning())
            return step;
        fx.clock->advance(GraphViewModel::layoutInterval);
    }
    return -1;
}

} // namespace

TEST(GraphViewModelTests, TheLayoutComesToRestAndWakesOnEveryChange)
{
    const struct {
        const char* name;
        int links;
        int hub;
        int withinSteps; // at thirty steps a second
    } libraries[] = {
        {"a hub of eight", 3, 8, 90},
        {"1,000 links", 1000, 0, 90},
        {"5,000 links", 5000, 0, 300},
    };
    for (const auto& library : libraries) {
        test::GraphFixture fx;
        const auto [items, relations] = generatedLibrary(library.links, library.hub);
        fx.load(items, relations);
        // A large library's graph is worked out away from the main thread.
        ASSERT_TRUE(settle([&] { return fx.model.nodes().size() == items.size(); })) << library.name;
        fx.model.startLayoutTimer();
        QSignalSpy settled(&fx.model, &GraphViewModel::layoutSettled);
        const int steps = stepsToRest(fx);
        EXPECT_GE(steps, 0) << library.name;
        EXPECT_LE(steps, library.withinSteps) << library.name;
        EXPECT_EQ(settled.size(), 1) << library.name;
    }

    test::GraphFixture fx;
    const auto [items, relations] = generatedLibrary(40, 6);
    fx.load(items, relations);
    fx.model.startLayoutTimer();
    ASSERT_GE(stepsToRest(fx), 0);
    const QUuid hub = items[0].id, other = items[1].id;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"load", [&] { fx.model.reload(); }},
        {"selection without a glide", [&] { fx.model.centerOnNode(other, false); }},
        {"centring", [&] { fx.model.centerOnNode(hub, true); }},
        {"scope", [&] { fx.model.setScope(GraphScope::all); }},
        {"filter", [&] { fx.model.setTagFilters({}); }},
        {"resize or zoom", [&] { fx.model.wakeLayout(); }},
    };
    for (const auto& [name, change] : changes) {
        change();
        QCoreApplication::processEvents();
        EXPECT_TRUE(fx.model.isLayoutTimerRunning()) << name;
        EXPECT_GE(stepsToRest(fx), 0) << name;
    }
    // A node held by the pointer keeps the layout running; let go, it settles.
    fx.model.dragNode(hub, {300, 300});
    for (int step = 0; step < 200; ++step)
        fx.clock->advance(GraphViewModel::layoutInterval);
    EXPECT_TRUE(fx.model.isLayoutTimerRunning());
    fx.model.endDrag(hub);
    EXPECT_GE(stepsToRest(fx), 0);
    EXPECT_EQ(fx.positionOf(hub), QPointF(300, 300));

    // At rest nothing is stepped, and the look at the application in front keeps its own timer.
    QSignalSpy steps(&fx.model, &GraphViewModel::nodesChanged);
    const int looks = fx.frontmost->asked;
    fx.clock->advance(GraphViewModel::activeContextInterval * 3);
    EXPECT_EQ(steps.size(), 0);
    EXPECT_EQ(fx.frontmost->asked, looks + 3);
    fx.model.stop();
    EXPECT_FALSE(fx.model.isActiveContextTimerRunning());
}

// The view finds each edge's ends through the model's index: after every rebuild (a scope, another
// order, a large library worked out away from the window's thread) it names each shown node's place
// and link, and nodes the layout moved while a large library was worked out keep their places.
TEST(GraphViewModelTests, TheNodeIndexNamesEachShownNodesPlace)
{
    test::GraphFixture fx;
    const auto indexed = [&](const char* when) {
        const QList<GraphNode>& nodes = fx.model.nodes();
        EXPECT_EQ(fx.model.nodeIndex().size(), nodes.size()) << when;
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            ASSERT_EQ(fx.model.nodeIndex().value(nodes[i].id, -1), i) << when;
            ASSERT_EQ(fx.model.nodeItem(nodes[i].id)->title, nodes[i].title) << when;
        }
    };
    QList<LinkItem> items = titled(5000); // a large library: worked out on the pool
    const QList<LinkRelation> relations{relation(items[1], items[2]), relation(items[4000], items[2])};
    fx.load(items, relations);
    ASSERT_TRUE(settle([&] { return !fx.model.isLoading(); }));
    indexed("loaded");
    fx.model.setScope(GraphScope::weakLinks);
    fx.model.setScope(GraphScope::orphans);
    EXPECT_FALSE(fx.model.nodeIndex().contains(items[2].id));
    indexed("orphans");
    fx.model.setScope(GraphScope::all);
    indexed("all");

    std::reverse(items.begin(), items.end());
    fx.load(items, relations);
    ASSERT_TRUE(settle([&] { return !fx.model.isLoading(); }));
    indexed("another order");
    EXPECT_EQ(fx.model.nodes().first().id, items.first().id);

    fx.deferLoads = true;
    fx.model.reload();
    fx.finishLoad(0, items, relations);
    fx.model.stepLayout();
    const QList<GraphNode> moved = fx.model.nodes();
    ASSERT_TRUE(settle([&] { return !fx.model.isLoading(); }));
    indexed("moved while loading");
    int kept = 0;
    for (qsizetype i = 0; i < moved.size(); ++i)
        kept += fx.model.nodes()[i].position == moved[i].position;
    EXPECT_EQ(kept, moved.size());
}
