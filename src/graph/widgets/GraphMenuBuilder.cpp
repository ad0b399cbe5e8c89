#include "GraphMenuBuilder.h"

#include "GraphInks.h"

#include "desktop/DataText.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"

#include <QMenu>

namespace morvane {

namespace {

QIcon entryIcon(const GraphMenuEntry& entry, const QMenu& menu, const AppearanceService* appearance)
{
    if (!entry.icon)
        return {};
    QColor color = menu.palette().color(QPalette::Text);
    if (entry.destructive)
        color = GraphInks::destructive;
    else if (entry.tint)
        color = paintColor(*entry.tint, appearance);
    return glyphIcon(*entry.icon, color);
}

} // namespace

void fillGraphMenu(QMenu& menu, const QList<GraphMenuEntry>& entries, const AppearanceService* appearance)
{
    menu.clear();
    // clear() leaves the sub-menus themselves behind.
    for (QMenu* sub : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        sub->deleteLater();
    menu.setToolTipsVisible(true);
    for (const GraphMenuEntry& entry : entries) {
        switch (entry.kind) {
        case GraphMenuEntry::Kind::section:
            menu.addSection(menuText(entry.title));
            break;
        case GraphMenuEntry::Kind::divider:
            menu.addSeparator();
            break;
        case GraphMenuEntry::Kind::text:
            menu.addAction(menuText(entry.title))->setEnabled(false);
            break;
        case GraphMenuEntry::Kind::submenu: {
            QMenu* sub = menu.addMenu(entryIcon(entry, menu, appearance), menuText(entry.title));
            fillGraphMenu(*sub, entry.children, appearance);
            break;
        }
        case GraphMenuEntry::Kind::action: {
            QAction* action = menu.addAction(entryIcon(entry, menu, appearance), menuText(entry.title));
            if (!entry.toolTip.isEmpty())
                action->setToolTip(toolTipText(entry.toolTip));
            QObject::connect(action, &QAction::triggered, action, [trigger = entry.trigger] {
                if (trigger)
                    trigger();
            });
            break;
        }
        }
    }
}

} // namespace morvane
