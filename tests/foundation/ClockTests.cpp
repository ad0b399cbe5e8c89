#include "ManualClock.h"
#include "TestValues.h"
#include "foundation/Clock.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
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

TEST(ManualClock, AdvancingFiresEachDueTimerAtItsOwnTime)
{
    ManualClock clock(at("2024-05-01T09:00:00.000Z"));
    QStringList fired;
    const auto sync = clock.makeTimer([&] { fired << "sync " + clock.now().toString("HH:mm:ss"); });
    const auto once = clock.makeTimer([&] { fired << "once " + clock.now().toString("HH:mm:ss"); });
    sync->start(45s, true);
    once->start(60s, false);
    clock.advance(90s);
    EXPECT_EQ(fired, (QStringList{"sync 09:00:45", "once 09:01:00", "sync 09:01:30"}));
    EXPECT_EQ(clock.monotonic(), 90s);
    EXPECT_TRUE(sync->isActive());
    EXPECT_FALSE(once->isActive());
}
