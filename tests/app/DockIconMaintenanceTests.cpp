#include "TestApp.h"
#include "services/PreferencesStore.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(DockIconMaintenance, TheSettingIsAppliedAtOnceAndRestoredEachTimeTheApplicationComesToTheFront)
{
    TestApp test;
    ASSERT_TRUE(test.app.start());
    AppSettings& preferences = test.app.preferencesStore()->settings();
    FakeAppPresence& presence = *test.presence;
    ASSERT_TRUE(presence.hidden);

    // Showing a window put the application in the task bar; coming to the front takes it out again,
    // on the next turn of the event loop.
    presence.hidden = false;
    presence.bringToFront();
    EXPECT_FALSE(presence.hidden);
    QCoreApplication::processEvents();
    EXPECT_TRUE(presence.hidden);
    const int changes = presence.setCalls;
    presence.bringToFront();
    QCoreApplication::processEvents();
    EXPECT_EQ(presence.setCalls, changes);

    preferences.setHideDockIcon(false);
    EXPECT_FALSE(presence.hidden);
    EXPECT_EQ(presence.activations, 1);
    presence.bringToFront();
    QCoreApplication::processEvents();
    EXPECT_FALSE(presence.hidden);
    preferences.setHideDockIcon(true);
    EXPECT_TRUE(presence.hidden);
}
