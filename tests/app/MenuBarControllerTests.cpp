#include "TestApp.h"
#include "app/MenuBarController.h"
#include "model/CapturedContext.h"

#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace morvane;

TEST(MenuBarController, TheMenuHoldsFiveItemsAndTwoSeparatorsAndTheUpdateCheckSaysWhereUpdatesComeFrom)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    QStringList items;
    for (const QAction* action : test.app.menuBarController()->menu()->actions())
        items << (action->isSeparator() ? QStringLiteral("—")
                                        : action->text() + " " + action->shortcut().toString());
    // The global shortcuts as the desktop names them, not as Qt would ("Meta+Ctrl+L").
    EXPECT_EQ(items, (QStringList{"Open Morvane\tCtrl+Super+L ", "Open Graph\tCtrl+Super+G ", "—",
                                  "Preferences… Ctrl+,", "Check for Updates… ", "—", "Quit Morvane Ctrl+Q"}));

    // There is no updater here: the check says where updates come from instead of doing nothing (for
    // this test's program, a build folder).
    test.app.menuBarController()->menu()->actions().at(4)->trigger();
    ASSERT_EQ(test.alerts->shown.size(), 1);
    EXPECT_EQ(test.alerts->shown.first().informativeText,
              "This copy of Morvane runs from a build folder: `git pull` and `scripts/run` in its source "
              "folder update it.");
    // Quit ends the application the way it was given.
    test.app.menuBarController()->menu()->actions().at(6)->trigger();
    EXPECT_EQ(test.quits, 1);
}

// Where the desktop holds the shortcuts, its keys are the ones that work, as the user changes them.
TEST(MenuBarController, TheShortcutItemsNameTheKeysTheDesktopHolds)
{
    using State = GlobalShortcutsPortal::State;
    test::TestApp test;
    test.shortcutsPortal = std::make_shared<test::FakeGlobalShortcutsPortal>(State::asking);
    ASSERT_TRUE(test.app.start());
    const auto shortcutItems = [&test] {
        const QList<QAction*> actions = test.app.menuBarController()->menu()->actions();
        return QStringList{actions.at(0)->text(), actions.at(1)->text()};
    };
    EXPECT_EQ(shortcutItems(), (QStringList{"Open Morvane\tCtrl+Super+L", "Open Graph\tCtrl+Super+G"}));
    test.shortcutsPortal->setTriggers({{"quick-panel", "Meta+Ctrl+L"}, {"graph", "Meta+Ctrl+G"}});
    test.shortcutsPortal->answer(State::available);
    EXPECT_EQ(shortcutItems(), (QStringList{"Open Morvane\tMeta+Ctrl+L", "Open Graph\tMeta+Ctrl+G"}));
    test.shortcutsPortal->setTriggers({{"quick-panel", "Meta+Ctrl+K"}, {"graph", ""}});
    EXPECT_EQ(shortcutItems(), (QStringList{"Open Morvane\tMeta+Ctrl+K", "Open Graph\tNone"}));
    test.shortcutsPortal->answer(State::unavailable);
    EXPECT_EQ(shortcutItems(), (QStringList{"Open Morvane\tCtrl+Super+L", "Open Graph\tCtrl+Super+G"}));
}

// No icon exists before a tray host does (Qt would bind it to the wrong kind of tray for good); one
// is made when a host arrives, with what it should show by then (its tooltip names the application
// of a saved item in front), and a new one for each host after.
TEST(MenuBarController, TheIconIsMadeOnceATrayHostArrivesAndAgainForEachNewHost)
{
    test::TestApp test;
    test.trayHost->present = false;
    ASSERT_TRUE(test.app.start());
    MenuBarController& menuBar = *test.app.menuBarController();
    EXPECT_EQ(menuBar.trayIcon(), nullptr);
    CapturedContext context;
    context.sourceApp = QStringLiteral("Firefox");
    menuBar.updateIndicator(true, context);

    test.trayHost->arrive();
    const QPointer<QSystemTrayIcon> first = menuBar.trayIcon();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->toolTip(), "Morvane has links for the active Firefox item");
    EXPECT_EQ(first->contextMenu(), menuBar.menu());

    test.trayHost->arrive();
    EXPECT_EQ(first, nullptr);
    QSystemTrayIcon& tray = *menuBar.trayIcon();
    EXPECT_TRUE(tray.isVisible());
    menuBar.updateIndicator(true, std::nullopt);
    EXPECT_EQ(tray.toolTip(), "");
    menuBar.updateIndicator(false, context);
    EXPECT_EQ(tray.toolTip(), "Morvane");
}

// The panel's colours are its own: a dark panel under a light desktop theme is common.
TEST(MenuBarController, TheTrayIconStandsOutOnADarkAndOnALightPanel)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    MenuBarController& menuBar = *test.app.menuBarController();
    for (const bool hasLinks : {false, true}) {
        menuBar.updateIndicator(hasLinks, std::nullopt);
        const QPixmap icon = menuBar.trayIcon()->icon().pixmap(22, 22);
        for (const QColor panel : {QColor(0x20, 0x20, 0x20), QColor(0xd6, 0xd6, 0xd6)}) {
            QImage shown(icon.size(), QImage::Format_RGB32);
            shown.fill(panel);
            QPainter(&shown).drawPixmap(0, 0, icon);
            int standingOut = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const QColor pixel = shown.pixelColor(x, y);
                    standingOut +=
                        std::max({qAbs(pixel.red() - panel.red()), qAbs(pixel.green() - panel.green()),
                                  qAbs(pixel.blue() - panel.blue())}) > 100;
                }
            EXPECT_GE(standingOut, 30) << "links " << hasLinks << " on " << panel.name().toStdString();
        }
    }
}

// A click that follows the last one within the double-click time is reported as a double click.
TEST(MenuBarController, AClickOrADoubleClickOnTheIconOpensTheMenuButLeavesAnOpenOneAlone)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    MenuBarController& menuBar = *test.app.menuBarController();
    QMenu& menu = *menuBar.menu();
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        emit menuBar.trayIcon()->activated(reason);
        EXPECT_TRUE(menu.isVisible()) << reason;
        const QPoint at = menu.pos();
        menu.move(at + QPoint(5, 5));
        emit menuBar.trayIcon()->activated(reason);
        EXPECT_EQ(menu.pos(), at + QPoint(5, 5)) << "an open menu is popped up again";
        menu.hide();
    }
}

// The menu never covers the icon, so a second click on the icon reaches the icon.
TEST(MenuBarController, TheTrayMenuOpensBesideTheIconAndInsideTheScreen)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize menu(294, 114);
    // A tray along the top: below the icon, pulled left to fit.
    EXPECT_EQ(trayMenuPosition(QRect(1001, 1, 22, 30), {1012, 16}, menu, screen), QPoint(730, 31));
    // A tray along the bottom: above the icon.
    EXPECT_EQ(trayMenuPosition(QRect(40, 738, 22, 30), {50, 750}, menu, screen), QPoint(50, 624));
    // No room either way: at the pointer's height.
    EXPECT_EQ(trayMenuPosition(QRect(40, 100, 22, 600), {50, 400}, menu, screen), QPoint(50, 400));
    // Without the icon's place (a tray that does not tell it), at the pointer.
    EXPECT_EQ(trayMenuPosition(QRect(), {1012, 16}, menu, screen), QPoint(1012, 16));
}
