#include "TestApp.h"
#include "app/MenuBarController.h"
#include "model/CapturedContext.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace morvane;

TEST(MenuBarController, TheMenuHoldsFiveItemsAndTwoSeparatorsWithTheirShortcuts)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    QStringList items;
    for (const QAction* action : test.app.menuBarController()->menu()->actions())
        items << (action->isSeparator() ? QStringLiteral("—")
                                        : action->text() + " " + action->shortcut().toString());
    EXPECT_EQ(items, (QStringList{"Open Morvane Meta+Ctrl+L", "Open Graph Meta+Ctrl+G", "—",
                                  "Preferences… Ctrl+,", "Check for Updates… ", "—", "Quit Morvane Ctrl+Q"}));
}

TEST(MenuBarController, TheToolTipNamesTheApplicationOfASavedItemInFront)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    MenuBarController& menuBar = *test.app.menuBarController();
    QSystemTrayIcon& tray = *menuBar.trayIcon();
    EXPECT_EQ(tray.toolTip(), "Morvane");

    CapturedContext context;
    context.sourceApp = QStringLiteral("Finder");
    menuBar.updateIndicator(true, context);
    EXPECT_EQ(tray.toolTip(), "Morvane has links for the active Finder item");
    menuBar.updateIndicator(true, std::nullopt);
    EXPECT_EQ(tray.toolTip(), "");
    menuBar.updateIndicator(false, context);
    EXPECT_EQ(tray.toolTip(), "Morvane");
}
