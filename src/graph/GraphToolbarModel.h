#pragma once

#include "GraphElements.h"
#include "GraphMenu.h"
#include "model/LinkType.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace morvane {

class GraphCommands;
class GraphContent;
class GraphFilters;
class GraphSelection;
class GraphViewModel;

// What the toolbar hands back to the canvas, which owns zoom and pan.
struct GraphViewActions {
    std::function<void()> zoomOut;
    std::function<void()> zoomIn;
    std::function<void()> resetViewport;
    // The window owner's reload request first (a sync when sync is on), then the graph's reload.
    std::function<void()> reloadGraph;
};

// A toolbar button or menu button: an icon with its help text. A button runs `trigger`; a menu
// button opens the entries its model lists at the moment it opens.
struct GraphToolbarControl {
    Glyph icon = Glyph::connectedPoints;
    QString help = {};
    bool enabled = true;
    bool destructive = false;
    std::function<void()> trigger = {};
};

// A one-line label with an icon, truncated in the middle; tinted, and filled with a pale tint.
struct GraphToolbarChip {
    QString title;
    Glyph icon;
    SystemColor tint;
    bool filled = true;
    double maxWidth = 170;
};

// The strip across the top of the Graph window, as values: the scope and status, the scope and
// filter menus, the group acting on the selected node, the link-mode group and the view buttons.
// It keeps nothing of its own: every answer is read from the graph model's parts when asked, so a menu opened
// now lists what is true now. Controls that need a selection or link mode are absent rather than
// disabled; only the relation-removal menu of a node without relations is disabled.
class GraphToolbarModel {
public:
    // The graph model outlives the toolbar model.
    GraphToolbarModel(GraphViewModel& model, GraphViewActions actions);

    static QString scopeTitle(GraphScope scope);
    static Glyph scopeGlyph(GraphScope scope);

    // The current scope's title, above the model's status line.
    QString title() const;
    const QString& status() const;

    GraphToolbarControl scopeMenu() const;
    QList<GraphMenuEntry> scopeEntries();
    // Rebuilds the graph even when the scope is the current one.
    void chooseScope(GraphScope scope);

    qsizetype activeFilterCount() const;
    GraphToolbarControl filterMenu() const;
    // Sections "Type", "App" and "Tag" of what the library holds, then "Clear Filters" while any
    // filter is on.
    QList<GraphMenuEntry> filterEntries();
    void toggleType(LinkType type);
    void toggleApp(const QString& app);
    void toggleTag(const QString& tag);
    // One filter set after another, each rebuilding the graph.
    void clearFilters();

    // The selected node's chip; none without a shown selected node, and then no selection group.
    std::optional<GraphToolbarChip> selectionChip() const;
    // Linking from the selection and removing one of its relations are offered outside link mode.
    bool offersLinking() const;
    GraphToolbarControl linkButton() const;
    GraphToolbarControl removeRelationMenu() const;
    QList<GraphMenuEntry> removeRelationEntries() const;
    GraphToolbarControl openButton() const;
    GraphToolbarControl deleteButton() const;

    // The link-mode source's chip; none unless link mode is on from a shown node.
    std::optional<GraphToolbarChip> linkingChip() const;
    GraphToolbarControl cancelLinkingButton() const;

    // Zoom out, zoom in, centre the view, reload.
    QList<GraphToolbarControl> viewButtons() const;

private:
    GraphFilters& m_filters;
    const GraphContent& m_content;
    const GraphSelection& m_selection;
    GraphCommands& m_commands;
    GraphViewActions m_actions;
};

} // namespace morvane
