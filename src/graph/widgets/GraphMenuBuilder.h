#pragma once

#include "graph/GraphMenu.h"

#include <QList>

class QMenu;

namespace morvane {

class AppearanceService;

// Replaces the menu's items with the entries: sections, dividers, informative lines (disabled),
// sub-menus, and actions with their glyphs and tooltips. Titles are data and shown as typed.
void fillGraphMenu(QMenu& menu, const QList<GraphMenuEntry>& entries, const AppearanceService* appearance);

} // namespace morvane
