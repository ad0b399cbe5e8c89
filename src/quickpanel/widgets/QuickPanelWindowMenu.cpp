#include "QuickPanelWindowMenu.h"

#include <QMenu>

namespace morvane {

namespace {

QString menuText(const QuickPanelMenuEntry& entry)
{
    QString text = entry.title;
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    if (!entry.shortcutText.isEmpty())
        text += QLatin1Char('\t') + entry.shortcutText;
    return text;
}

void addEntries(QMenu& menu, const QList<QuickPanelMenuEntry>& entries,
                const std::function<void(const QuickPanelMenuEntry&)>& pick)
{
    for (const QuickPanelMenuEntry& entry : entries) {
        if (entry.command == QuickPanelMenuCommand::submenu) {
            addEntries(*menu.addMenu(menuText(entry)), entry.submenu, pick);
            continue;
        }
        menu.addAction(menuText(entry), &menu, [pick, entry] { pick(entry); });
    }
}

} // namespace

QMenu* makeQuickPanelMenu(const QList<QuickPanelMenuEntry>& entries,
                          const std::function<void(const QuickPanelMenuEntry&)>& pick, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    addEntries(*menu, entries, pick);
    return menu;
}

} // namespace morvane
