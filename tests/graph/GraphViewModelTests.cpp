#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::relation;
using test::settle;
using test::titledItems;
using test::webLink;

TEST(GraphViewModelTests, TimerAndObserverLiveOnlyWhileShown)
{
    test::GraphFixture fx;
    fx.load(titledItems(3));
    QSignalSpy steps(&fx.layout, &GraphLayoutDriver::nodesMoved);
    for (int appear = 0; appear < 2; ++appear)
        fx.model.start();
    steps.clear();
    fx.clock->advance(GraphLayoutDriver::stepInterval * 3);
    EXPECT_EQ(steps.size(), 3) << "one timer, one signal per step";

    const int loads = fx.loadsStarted;
    fx.store->notifyDidMutate(false);
    ASSERT_TRUE(settle([&] { return fx.loadsStarted == loads + 1; })) << "one observer";
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.loadsStarted, loads + 1);

    fx.model.stop();
    EXPECT_FALSE(fx.layout.isRunning());
    steps.clear();
    fx.clock->advance(GraphLayoutDriver::stepInterval * 3);
    fx.store->notifyDidMutate(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(steps.size(), 0);
    EXPECT_EQ(fx.loadsStarted, loads + 1);
}

// The parts are joined where a change to one makes another's state stale: a load that no longer shows
// a link drops every mark on it (selection, link mode, the active node, its pin, the keyboard walk)
// and, with nothing selected, looks at the item in front again; a load that still shows it keeps them.
TEST(GraphViewModelTests, ALoadDropsTheMarksOfLinksItNoLongerShows)
{
    test::GraphFixture fx;
    const LinkItem a = webLink("A"), b = webLink("B"), c = webLink("C");
    const auto markA = [&] {
        fx.layout.dragNode(a.id, {40, 40});
        fx.layout.endDrag(a.id);
        fx.activeContext.applyLink(a);
        fx.navigation.centerOnNode(a.id, false);
        fx.commands.beginLinkingFromSelection();
        fx.navigation.previewNeighbor(false);
    };
    fx.load({a, b, c}, {relation(a, b)});
    markA();
    ASSERT_TRUE(fx.navigation.keyboardRelationNavigation());
    fx.load({a, b, c}, {relation(a, b)});
    EXPECT_EQ(fx.selection.selectedNodeID(), a.id);
    EXPECT_EQ(fx.selection.activeNodeID(), a.id);
    EXPECT_EQ(fx.selection.linkingSourceNodeID(), a.id);
    EXPECT_TRUE(fx.layout.userPositionedNodeIDs().contains(a.id));
    EXPECT_EQ(fx.positionOf(a.id), QPointF(40, 40));
    EXPECT_FALSE(fx.navigation.keyboardRelationNavigation()) << "a new graph starts the walk over";

    markA();
    const int looks = fx.frontmost->asked;
    fx.load({b, c});
    EXPECT_FALSE(fx.selection.selectedNodeID());
    EXPECT_FALSE(fx.selection.activeNodeID());
    EXPECT_FALSE(fx.selection.linkingSourceNodeID());
    EXPECT_FALSE(fx.layout.userPositionedNodeIDs().contains(a.id));
    EXPECT_FALSE(fx.navigation.keyboardRelationNavigation());
    EXPECT_EQ(fx.frontmost->asked, looks + 1);
}
