#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace morvane;
using test::relation;
using test::settle;
using test::titledItems;

namespace {

// Links as the benchmark library makes them: half as many relations as links, between random links;
// `hub` more links all related to the first, whose fan on its own would turn for ever.
std::pair<QList<LinkItem>, QList<LinkRelation>> generatedLibrary(int links, int hub)
{
    std::mt19937 random(5);
    const QList<LinkItem> items = titledItems(links + hub);
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
        if (!fx.layout.isRunning())
            return step;
        fx.clock->advance(GraphLayoutDriver::stepInterval);
    }
    return -1;
}

} // namespace

TEST(GraphLayoutDriverTests, TheLayoutComesToRestAndWakesOnEveryChange)
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
        ASSERT_TRUE(settle([&] { return fx.content.nodes().size() == items.size(); })) << library.name;
        fx.layout.start();
        fx.activeContext.start();
        fx.activeContext.start();
        QSignalSpy settled(&fx.layout, &GraphLayoutDriver::layoutSettled);
        const int steps = stepsToRest(fx);
        EXPECT_GE(steps, 0) << library.name;
        EXPECT_LE(steps, library.withinSteps) << library.name;
        EXPECT_EQ(settled.size(), 1) << library.name;
    }

    test::GraphFixture fx;
    const auto [items, relations] = generatedLibrary(40, 6);
    fx.load(items, relations);
    fx.layout.start();
    fx.activeContext.start();
    ASSERT_GE(stepsToRest(fx), 0);
    const QUuid hub = items[0].id, other = items[1].id;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"load", [&] { fx.loader.reload(); }},
        {"selection without a glide", [&] { fx.navigation.centerOnNode(other, false); }},
        {"centring", [&] { fx.navigation.centerOnNode(hub, true); }},
        {"scope", [&] { fx.filters.setScope(GraphScope::all); }},
        {"filter", [&] { fx.filters.setTagFilters({}); }},
        {"resize or zoom", [&] { fx.layout.wake(); }},
    };
    for (const auto& [name, change] : changes) {
        change();
        QCoreApplication::processEvents();
        EXPECT_TRUE(fx.layout.isRunning()) << name;
        EXPECT_GE(stepsToRest(fx), 0) << name;
    }
    // A node held by the pointer keeps the layout running; let go, it settles. The drag and the steps
    // move places only: the content's nodes stay as they are.
    const quint64 nodesRevision = fx.content.nodesRevision();
    const QList<GraphNode> nodes = fx.content.nodes();
    fx.layout.dragNode(hub, {300, 300});
    for (int step = 0; step < 200; ++step)
        fx.clock->advance(GraphLayoutDriver::stepInterval);
    EXPECT_TRUE(fx.layout.isRunning());
    fx.layout.endDrag(hub);
    EXPECT_GE(stepsToRest(fx), 0);
    EXPECT_EQ(fx.positionOf(hub), QPointF(300, 300));
    EXPECT_EQ(fx.content.nodesRevision(), nodesRevision);
    EXPECT_TRUE(fx.content.nodes().isSharedWith(nodes));

    // At rest nothing is stepped, and the look at the application in front keeps its own timer.
    QSignalSpy steps(&fx.layout, &GraphLayoutDriver::nodesMoved);
    const int looks = fx.frontmost->asked;
    fx.clock->advance(GraphActiveContext::lookInterval * 3);
    EXPECT_EQ(steps.size(), 0);
    EXPECT_EQ(fx.frontmost->asked, looks + 3);
    fx.model.stop();
    EXPECT_FALSE(fx.activeContext.isRunning());
}
