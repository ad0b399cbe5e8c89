#include "FakeAppPresence.h"
#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "desktop/AppearanceService.h"
#include "model/CapturedContext.h"
#include "services/Updater.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

struct Shell {
    test::FakeAppPresence presence;
    Updater updater;
    QuickPanelController quickPanel{presence};
    GraphWindowController graphWindow{presence};
    PreferencesWindowController preferencesWindow{presence, updater};
    AppearanceService appearance;
    MenuBarController menuBar{quickPanel, graphWindow, preferencesWindow, updater, appearance};
};

QAction* actionNamed(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

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

TEST(MenuBarController, EachItemOpensItsWindowAndShowsItAgainWithoutToggling)
{
    Shell shell;
    shell.menuBar.buildMenu();
    int quits = 0;
    shell.menuBar.onQuit = [&] { ++quits; };
    const std::pair<QString, WindowController*> windows[] = {{"Open Morvane", &shell.quickPanel},
                                                             {"Open Graph", &shell.graphWindow},
                                                             {"Preferences…", &shell.preferencesWindow}};
    const QStringList titles{"Morvane", "Morvane Graph", "Morvane Preferences"};
    int index = 0;
    for (const auto& [text, controller] : windows) {
        EXPECT_EQ(controller->window(), nullptr);
        actionNamed(*shell.menuBar.menu(), text)->trigger();
        actionNamed(*shell.menuBar.menu(), text)->trigger();
        ASSERT_NE(controller->window(), nullptr);
        EXPECT_TRUE(controller->window()->isVisible());
        EXPECT_EQ(controller->window()->windowTitle(), titles[index++]);
    }
    EXPECT_TRUE(shell.quickPanel.isRefreshing());
    shell.quickPanel.hide();
    EXPECT_FALSE(shell.quickPanel.isRefreshing());
    EXPECT_FALSE(shell.quickPanel.window()->isVisible());
    actionNamed(*shell.menuBar.menu(), "Quit Morvane")->trigger();
    EXPECT_EQ(quits, 1);
}

TEST(MenuBarController, TheToolTipNamesTheApplicationOfASavedItemInFront)
{
    Shell shell;
    shell.menuBar.buildMenu();
    QSystemTrayIcon& tray = *shell.menuBar.trayIcon();
    EXPECT_EQ(tray.toolTip(), "Morvane");
    const qint64 plainIcon = tray.icon().cacheKey();

    CapturedContext context;
    context.sourceApp = QStringLiteral("Finder");
    shell.menuBar.updateIndicator(true, context);
    EXPECT_EQ(tray.toolTip(), "Morvane has links for the active Finder item");
    EXPECT_NE(tray.icon().cacheKey(), plainIcon);
    shell.menuBar.updateIndicator(true, std::nullopt);
    EXPECT_EQ(tray.toolTip(), "");
    shell.menuBar.updateIndicator(false, context);
    EXPECT_EQ(tray.toolTip(), "Morvane");
}
