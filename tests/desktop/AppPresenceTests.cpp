#include "desktop/AppPresence.h"

#include "FakeAppPresence.h"
#include "LogCapture.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(AppPresence, ApplyDockVisibilityChangesOnlyWhenNeededOrForced)
{
    struct Case {
        bool current, wanted, force;
        int setCalls, activations;
    };
    // Showing the application again brings it forward; hiding it never does.
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
}

TEST(AppPresence, ARefusedChangeIsLoggedAndReported)
{
    test::LogCapture log(QStringLiteral("morvane.DockVisibility"));
    test::FakeAppPresence presence;
    presence.refuseChanges = true;
    EXPECT_FALSE(applyDockVisibility(presence, true, false));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("setActivationPolicy(accessory) failed")});
    EXPECT_EQ(presence.activations, 0);
}

TEST(AppPresence, ActivatingAWindowOfAHiddenApplicationHidesItAgainAfterwards)
{
    test::FakeAppPresence presence;
    presence.hidden = true;
    QWidget window;
    activateForWindow(presence, window, true);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(presence.setCalls, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(presence.setCalls, 1);
    EXPECT_TRUE(presence.hidden);
}

} // namespace
} // namespace morvane
