#pragma once

#include "quickpanel/QuickPanelActionMenu.h"

#include <functional>

class QMenu;
class QWidget;

namespace morvane {

// The action menu as a QMenu: one action per entry, "Copy as" as a submenu. Picking an item calls
// `pick` with its entry. Shortcuts are written beside the titles only: the panel's key map handles
// them, and a bound shortcut would take the key from it.
QMenu* makeQuickPanelMenu(const QList<QuickPanelMenuEntry>& entries,
                          const std::function<void(const QuickPanelMenuEntry&)>& pick, QWidget* parent);

} // namespace morvane
