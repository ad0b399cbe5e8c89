#include "foundation/Clock.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using namespace std::chrono_literals;

TEST(SystemClock, TimersFireOnTheEventLoopOnceOrUntilTheirOwnCallbackEndsThem)
{
    const auto clock = SystemClock::shared();
    int single = 0;
    int repeated = 0;
    const auto once = clock->makeTimer([&] { ++single; });
    std::unique_ptr<ClockTimer> repeating = clock->makeTimer([&] {
        if (++repeated == 3)
            repeating.reset();
    });
    once->start(1ms, false);
    repeating->start(1ms, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !repeating && !once->isActive(); }, 10000));
    EXPECT_EQ(single, 1);
    EXPECT_EQ(repeated, 3);
}
