#include "TestApp.h"
#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "quickpanel/widgets/QuickPanelController.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// Mac key symbols and the names of macOS places: false on a Linux desktop wherever a user reads them.
const QRegularExpression
    macText(QStringLiteral(R"(⌘|⌥|⌃|⇧|\bMacs?\b|\bDock\b|iCloud|CloudKit|System Settings)"));

void addWidgetTexts(QWidget* widget, QStringList& texts)
{
    texts << widget->windowTitle() << widget->toolTip() << widget->accessibleName();
    if (const auto* label = qobject_cast<QLabel*>(widget))
        texts << label->text();
    if (const auto* button = qobject_cast<QAbstractButton*>(widget))
        texts << button->text();
    if (const auto* combo = qobject_cast<QComboBox*>(widget)) {
        for (int index = 0; index < combo->count(); ++index)
            texts << combo->itemText(index);
    }
    for (const QAction* action : widget->actions())
        texts << action->text() << action->toolTip();
}

} // namespace

// Every window the application builds, with every Preferences page (shown or not), and the tray menu.
TEST(LinuxTexts, NoWindowOrMenuNamesAMacPlaceOrAMacKeySymbol)
{
    test::TestApp test;
    ASSERT_TRUE(test.app.start());
    test.app.quickPanelController()->show();
    test.app.graphWindowController()->show();
    QMenu& tray = *test.app.menuBarController()->menu();
    for (QAction* action : tray.actions()) {
        if (action->text().startsWith(QStringLiteral("Preferences")))
            action->trigger();
    }

    QStringList texts;
    addWidgetTexts(&tray, texts);
    int windows = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        ++windows;
        addWidgetTexts(window, texts);
        for (QWidget* child : window->findChildren<QWidget*>())
            addWidgetTexts(child, texts);
    }
    EXPECT_GE(windows, 3);
    for (const QString& text : std::as_const(texts))
        EXPECT_FALSE(macText.match(text).hasMatch()) << text.toStdString();
}
