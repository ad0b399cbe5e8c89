#pragma once

#include <QList>
#include <QString>

namespace morvane {

// What an item of the panel's action menu does when picked.
enum class QuickPanelMenuCommand {
    open,
    copyDefault,
    // Copies in the format named by the item's value; a value that names no format does nothing.
    copyAs,
    deleteLink,
    removeRelation,
    linkToAnotherItem,
    showBacklinks,
    // An item that only holds a submenu.
    submenu,
};

struct QuickPanelMenuEntry {
    QString title;
    QuickPanelMenuCommand command = QuickPanelMenuCommand::submenu;
    // The copy format's stored name, for copyAs.
    QString value;
    // Shown beside the title only: the panel's key map does the work, so the menu never binds it.
    QString shortcutText;
    QList<QuickPanelMenuEntry> submenu;
};

// The "Copy" item and the "Copy as" submenu with one item per copy format, in the formats' order.
QList<QuickPanelMenuEntry> quickPanelCopyEntries();

// The action menu of the selected row, top to bottom. "Remove Relation" is offered only when the
// selection can lose a relation, as decided once when the menu is built.
QList<QuickPanelMenuEntry> quickPanelActionMenu(bool canRemoveRelation);

} // namespace morvane
