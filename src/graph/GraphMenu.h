#pragma once

#include "foundation/Glyph.h"
#include "foundation/SystemColor.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace morvane {

// One line of a graph menu, as plain values the widgets turn into menu items: the toolbar's menus and
// a node's context menu are decided here, headless, and only drawn there.
struct GraphMenuEntry {
    enum class Kind {
        action,  // a command: runs `trigger`
        text,    // a line that only informs ("No tags")
        section, // a heading that starts a group
        divider,
        submenu, // opens `children`
    };

    Kind kind = Kind::action;
    QString title;
    std::optional<Glyph> icon;
    // The glyph's colour; the menu's ink when unset.
    std::optional<SystemColor> tint;
    // Shown while the pointer rests on the item.
    QString toolTip;
    bool destructive = false;
    std::function<void()> trigger;
    QList<GraphMenuEntry> children;

    static GraphMenuEntry action(QString title, std::optional<Glyph> icon, std::function<void()> trigger)
    {
        GraphMenuEntry entry;
        entry.title = std::move(title);
        entry.icon = icon;
        entry.trigger = std::move(trigger);
        return entry;
    }
    static GraphMenuEntry text(QString title)
    {
        GraphMenuEntry entry;
        entry.kind = Kind::text;
        entry.title = std::move(title);
        return entry;
    }
    static GraphMenuEntry section(QString title)
    {
        GraphMenuEntry entry;
        entry.kind = Kind::section;
        entry.title = std::move(title);
        return entry;
    }
    static GraphMenuEntry divider()
    {
        GraphMenuEntry entry;
        entry.kind = Kind::divider;
        return entry;
    }
    static GraphMenuEntry submenu(QString title, Glyph icon, QList<GraphMenuEntry> children)
    {
        GraphMenuEntry entry;
        entry.kind = Kind::submenu;
        entry.title = std::move(title);
        entry.icon = icon;
        entry.children = std::move(children);
        return entry;
    }
};

} // namespace morvane
