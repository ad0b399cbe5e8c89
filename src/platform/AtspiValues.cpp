// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>

#include "AtspiValues.h"

#include <utility>

namespace morvane {

QString takeAtspiString(gchar* text)
{
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QHash<QString, QString> takeAtspiTable(GHashTable* table)
{
    QHash<QString, QString> result;
    if (!table)
        return result;
    GHashTableIter iterator;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iterator, table);
    while (g_hash_table_iter_next(&iterator, &key, &value))
        result.insert(QString::fromUtf8(static_cast<const char*>(key)),
                      QString::fromUtf8(static_cast<const char*>(value)));
    g_hash_table_unref(table);
    return result;
}

AccessibilityRole roleOf(AtspiRole role)
{
    using R = AccessibilityRole;
    static const QHash<int, AccessibilityRole> roles{
        {ATSPI_ROLE_APPLICATION, R::application},
        {ATSPI_ROLE_FRAME, R::frame},
        {ATSPI_ROLE_WINDOW, R::window},
        {ATSPI_ROLE_DIALOG, R::dialog},
        {ATSPI_ROLE_FILE_CHOOSER, R::dialog},
        {ATSPI_ROLE_ALERT, R::dialog},
        {ATSPI_ROLE_DOCUMENT_WEB, R::documentWeb},
        {ATSPI_ROLE_DOCUMENT_FRAME, R::documentFrame},
        {ATSPI_ROLE_DOCUMENT_TEXT, R::documentText},
        {ATSPI_ROLE_DOCUMENT_EMAIL, R::documentEmail},
        {ATSPI_ROLE_MENU_BAR, R::menuBar},
        {ATSPI_ROLE_MENU, R::menu},
        {ATSPI_ROLE_POPUP_MENU, R::popupMenu},
        {ATSPI_ROLE_MENU_ITEM, R::menuItem},
        {ATSPI_ROLE_PAGE_TAB_LIST, R::pageTabList},
        {ATSPI_ROLE_PAGE_TAB, R::pageTab},
        {ATSPI_ROLE_TOOL_BAR, R::toolBar},
        {ATSPI_ROLE_STATUS_BAR, R::statusBar},
        {ATSPI_ROLE_PANEL, R::panel},
        {ATSPI_ROLE_FILLER, R::filler},
        {ATSPI_ROLE_SCROLL_PANE, R::scrollPane},
        {ATSPI_ROLE_SECTION, R::section},
        {ATSPI_ROLE_PARAGRAPH, R::paragraph},
        {ATSPI_ROLE_HEADING, R::heading},
        {ATSPI_ROLE_LABEL, R::label},
        {ATSPI_ROLE_LINK, R::link},
        {ATSPI_ROLE_PUSH_BUTTON, R::pushButton},
        {ATSPI_ROLE_ENTRY, R::entry},
        {ATSPI_ROLE_TEXT, R::text},
        {ATSPI_ROLE_TABLE, R::table},
        {ATSPI_ROLE_TREE_TABLE, R::treeTable},
        {ATSPI_ROLE_TABLE_ROW, R::tableRow},
        {ATSPI_ROLE_TABLE_CELL, R::tableCell},
        {ATSPI_ROLE_TREE, R::tree},
        {ATSPI_ROLE_TREE_ITEM, R::treeItem},
        {ATSPI_ROLE_LIST, R::list},
        {ATSPI_ROLE_LIST_BOX, R::list},
        {ATSPI_ROLE_LIST_ITEM, R::listItem},
        {ATSPI_ROLE_LAYERED_PANE, R::layeredPane},
        {ATSPI_ROLE_ICON, R::icon},
        {ATSPI_ROLE_CANVAS, R::canvas},
        {ATSPI_ROLE_IMAGE, R::image},
    };
    return roles.value(role, R::other);
}

AccessibilityStates statesOf(AtspiStateSet* set)
{
    using S = AccessibilityState;
    static const std::pair<AtspiStateType, S> table[]{
        {ATSPI_STATE_ACTIVE, S::active},         {ATSPI_STATE_SHOWING, S::showing},
        {ATSPI_STATE_VISIBLE, S::visible},       {ATSPI_STATE_FOCUSED, S::focused},
        {ATSPI_STATE_SELECTED, S::selected},     {ATSPI_STATE_FOCUSABLE, S::focusable},
        {ATSPI_STATE_SELECTABLE, S::selectable}, {ATSPI_STATE_EDITABLE, S::editable},
        {ATSPI_STATE_EXPANDED, S::expanded},     {ATSPI_STATE_MULTISELECTABLE, S::multiselectable},
        {ATSPI_STATE_ICONIFIED, S::iconified},   {ATSPI_STATE_DEFUNCT, S::defunct},
    };
    AccessibilityStates states;
    for (const auto& [type, state] : table) {
        if (atspi_state_set_contains(set, type))
            states |= state;
    }
    return states;
}

std::optional<QString> readAtspiText(AtspiAccessible* accessible, gchar* (*read)(AtspiAccessible*, GError**))
{
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    gchar* text = read(accessible, &error);
    if (!text)
        return std::nullopt;
    return takeAtspiString(text);
}

} // namespace morvane
