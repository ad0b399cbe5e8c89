#include "desktop/AppPresence.h"

#include "FakeAppPresence.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(AppPresence, ApplyDockVisibilityChangesOnlyWhenNeededOrForcedAndShowingBringsItForward)
{
    struct Case {
        bool current, wanted, force;
        int setCalls, activations;
    };
    const Case cases[] = {
        {false, false, false, 0, 0}, {true, true, false, 0, 0},  {true, false, false, 1, 1},
        {false, true, false, 1, 0},  {false, false, true, 1, 1}, {true, true, true, 1, 0},
    };
    for (const Case& c : cases) {
        test::FakeAppPresence presence;
        presence.hidden = c.current;
        EXPECT_TRUE(applyDockVisibility(presence, c.wanted, c.force));
        EXPECT_EQ(presence.hidden, c.wanted);
        EXPECT_EQ(presence.setCalls, c.setCalls) << c.current << c.wanted << c.force;
        EXPECT_EQ(presence.activations, c.activations) << c.current << c.wanted << c.force;
    }
    test::FakeAppPresence refusing;
    refusing.refuseChanges = true;
    EXPECT_FALSE(applyDockVisibility(refusing, true, false));
}

} // namespace
} // namespace morvane
