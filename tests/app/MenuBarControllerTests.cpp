#include "FakeAppPresence.h"
#include "ManualClock.h"
#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "desktop/AppearanceService.h"
#include "model/CapturedContext.h"
#include "services/Updater.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

struct Shell {
    test::FakeAppPresence presence;
    Updater updater;
    QuickPanelController quickPanel{presence, std::make_shared<test::ManualClock>()};
    GraphWindowController graphWindow{presence};
    PreferencesWindowController preferencesWindow{presence, updater};
    AppearanceService appearance;
    MenuBarController menuBar{quickPanel, graphWindow, preferencesWindow, updater, appearance};
};

} // namespace

TEST(MenuBarController, TheMenuHoldsFiveItemsAndTwoSeparatorsWithTheirShortcuts)
{
    Shell shell;
    shell.menuBar.buildMenu();
    QStringList items;
    for (const QAction* action : shell.menuBar.menu()->actions())
        items << (action->isSeparator() ? QStringLiteral("—")
                                        : action->text() + " " + action->shortcut().toString());
    EXPECT_EQ(items, (QStringList{"Open Morvane Meta+Ctrl+L", "Open Graph Meta+Ctrl+G", "—",
                                  "Preferences… Ctrl+,", "Check for Updates… ", "—", "Quit Morvane Ctrl+Q"}));
}

TEST(MenuBarController, TheToolTipNamesTheApplicationOfASavedItemInFront)
{
    Shell shell;
    shell.menuBar.buildMenu();
    QSystemTrayIcon& tray = *shell.menuBar.trayIcon();
    EXPECT_EQ(tray.toolTip(), "Morvane");

    CapturedContext context;
    context.sourceApp = QStringLiteral("Finder");
    shell.menuBar.updateIndicator(true, context);
    EXPECT_EQ(tray.toolTip(), "Morvane has links for the active Finder item");
    shell.menuBar.updateIndicator(true, std::nullopt);
    EXPECT_EQ(tray.toolTip(), "");
    shell.menuBar.updateIndicator(false, context);
    EXPECT_EQ(tray.toolTip(), "Morvane");
}
