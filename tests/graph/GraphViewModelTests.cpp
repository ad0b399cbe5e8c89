#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::settle;
using test::titledItems;

TEST(GraphViewModelTests, TimerAndObserverLiveOnlyWhileShown)
{
    test::GraphFixture fx;
    fx.load(titledItems(3));
    QSignalSpy steps(&fx.content, &GraphContent::nodesChanged);
    for (int appear = 0; appear < 2; ++appear) {
        fx.model.start();
    }
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
