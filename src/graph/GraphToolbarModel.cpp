#include "GraphToolbarModel.h"

#include "GraphViewModel.h"
#include "model/LinkTypePresentation.h"

namespace morvane {

namespace {

GraphToolbarControl button(Glyph icon, const QString& help, std::function<void()> trigger)
{
    return {.icon = icon, .help = help, .trigger = std::move(trigger)};
}

// A set with the value taken out when it is in, put in when it is not.
template <class Set, class Value> Set toggled(Set set, const Value& value)
{
    if (set.contains(value))
        set.erase(set.find(value));
    else
        set.insert(value);
    return set;
}

} // namespace

GraphToolbarModel::GraphToolbarModel(GraphViewModel& model, GraphViewActions actions)
    : m_filters(model.filters())
    , m_content(model.content())
    , m_selection(model.selection())
    , m_commands(model.commands())
    , m_actions(std::move(actions))
{
}

QString GraphToolbarModel::scopeTitle(GraphScope scope)
{
    switch (scope) {
    case GraphScope::all:
        return QStringLiteral("All");
    case GraphScope::currentNeighborhood:
        return QStringLiteral("Context");
    case GraphScope::orphans:
        return QStringLiteral("Orphans");
    case GraphScope::weakLinks:
        return QStringLiteral("Weak");
    case GraphScope::suggestions:
        return QStringLiteral("Suggested");
    }
    return {};
}

Glyph GraphToolbarModel::scopeGlyph(GraphScope scope)
{
    switch (scope) {
    case GraphScope::all:
        return Glyph::connectedPoints;
    case GraphScope::currentNeighborhood:
        return Glyph::scope;
    case GraphScope::orphans:
        return Glyph::linkPlus;
    case GraphScope::weakLinks:
        return Glyph::warning;
    case GraphScope::suggestions:
        return Glyph::sparkles;
    }
    return Glyph::connectedPoints;
}

QString GraphToolbarModel::title() const
{
    return scopeTitle(m_filters.scope());
}

const QString& GraphToolbarModel::status() const
{
    return m_content.message();
}

// --- Scope -------------------------------------------------------------------------------------------

GraphToolbarControl GraphToolbarModel::scopeMenu() const
{
    return {.icon = scopeGlyph(m_filters.scope()),
            .help = QStringLiteral("Choose which part of the context graph to show")};
}

QList<GraphMenuEntry> GraphToolbarModel::scopeEntries()
{
    QList<GraphMenuEntry> entries;
    for (const GraphScope scope : allGraphScopes()) {
        const Glyph icon = scope == m_filters.scope() ? Glyph::checkmark : scopeGlyph(scope);
        entries.append(
            GraphMenuEntry::action(scopeTitle(scope), icon, [this, scope] { chooseScope(scope); }));
    }
    return entries;
}

void GraphToolbarModel::chooseScope(GraphScope scope)
{
    m_filters.setScope(scope);
}

// --- Filters -----------------------------------------------------------------------------------------

qsizetype GraphToolbarModel::activeFilterCount() const
{
    return qsizetype(m_filters.typeFilters().size()) + m_filters.appFilters().size() +
           m_filters.tagFilters().size();
}

GraphToolbarControl GraphToolbarModel::filterMenu() const
{
    const qsizetype count = activeFilterCount();
    if (count == 0)
        return {.icon = Glyph::filter, .help = QStringLiteral("Filter by type, source app, or tag")};
    return {.icon = Glyph::filterFilled,
            .help =
                QString::number(count) + QStringLiteral(" active graph filter") + (count == 1 ? "" : "s")};
}

QList<GraphMenuEntry> GraphToolbarModel::filterEntries()
{
    QList<GraphMenuEntry> entries;

    entries.append(GraphMenuEntry::section(QStringLiteral("Type")));
    const QList<LinkType> types = m_content.availableLinkTypes();
    if (types.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No link types")));
    for (const LinkType type : types) {
        const LinkTypePresentation shown = presentation(type);
        const bool on = m_filters.typeFilters().contains(type);
        auto entry = GraphMenuEntry::action(shown.title, on ? Glyph::checkmark : shown.glyph,
                                            [this, type] { toggleType(type); });
        entry.tint = shown.color;
        entries.append(std::move(entry));
    }

    entries.append(GraphMenuEntry::section(QStringLiteral("App")));
    const QStringList apps = m_content.availableSourceApps();
    if (apps.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No source apps")));
    for (const QString& app : apps) {
        const Glyph icon = m_filters.appFilters().contains(app) ? Glyph::checkmark : Glyph::app;
        // Shown by its Linux name, matched by the stored one.
        entries.append(
            GraphMenuEntry::action(sourceAppDisplayName(app), icon, [this, app] { toggleApp(app); }));
    }

    entries.append(GraphMenuEntry::section(QStringLiteral("Tag")));
    const QStringList tags = m_content.availableTags();
    if (tags.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No tags")));
    for (const QString& tag : tags) {
        const Glyph icon = m_filters.tagFilters().contains(tag) ? Glyph::checkmark : Glyph::tag;
        entries.append(
            GraphMenuEntry::action(QStringLiteral("#") + tag, icon, [this, tag] { toggleTag(tag); }));
    }

    if (activeFilterCount() > 0) {
        entries.append(GraphMenuEntry::divider());
        entries.append(GraphMenuEntry::action(QStringLiteral("Clear Filters"), Glyph::filter,
                                              [this] { clearFilters(); }));
    }
    return entries;
}

void GraphToolbarModel::toggleType(LinkType type)
{
    m_filters.setTypeFilters(toggled(m_filters.typeFilters(), type));
}

void GraphToolbarModel::toggleApp(const QString& app)
{
    m_filters.setAppFilters(toggled(m_filters.appFilters(), app));
}

void GraphToolbarModel::toggleTag(const QString& tag)
{
    m_filters.setTagFilters(toggled(m_filters.tagFilters(), tag));
}

void GraphToolbarModel::clearFilters()
{
    m_filters.setTypeFilters({});
    m_filters.setAppFilters({});
    m_filters.setTagFilters({});
}

// --- The selected node -----------------------------------------------------------------------------

std::optional<GraphToolbarChip> GraphToolbarModel::selectionChip() const
{
    const auto node = m_content.node(m_selection.selectedNodeID());
    if (!node)
        return std::nullopt;
    const LinkTypePresentation shown = presentation(node->type);
    return GraphToolbarChip{node->title, shown.glyph, shown.color, true, 170};
}

bool GraphToolbarModel::offersLinking() const
{
    return !m_selection.linkingSourceNodeID().has_value();
}

GraphToolbarControl GraphToolbarModel::linkButton() const
{
    return button(Glyph::linkPlus, QStringLiteral("Link From Selected Node"),
                  [this] { m_commands.beginLinkingFromSelection(); });
}

GraphToolbarControl GraphToolbarModel::removeRelationMenu() const
{
    const auto selected = m_selection.selectedNodeID();
    GraphToolbarControl menu{.icon = Glyph::linkMinus, .help = QStringLiteral("Remove Relation")};
    menu.enabled = selected && !m_content.relatedItems(*selected).isEmpty();
    return menu;
}

QList<GraphMenuEntry> GraphToolbarModel::removeRelationEntries() const
{
    const auto selected = m_selection.selectedNodeID();
    const QList<LinkItem> related = selected ? m_content.relatedItems(*selected) : QList<LinkItem>();
    if (related.isEmpty())
        return {GraphMenuEntry::text(QStringLiteral("No relations"))};
    QList<GraphMenuEntry> entries;
    for (const LinkItem& item : related) {
        const QUuid id = item.id;
        entries.append(GraphMenuEntry::action(item.title, std::nullopt,
                                              [this, id] { m_commands.requestRelationRemoval(id); }));
    }
    return entries;
}

GraphToolbarControl GraphToolbarModel::openButton() const
{
    return button(Glyph::openInApp, QStringLiteral("Open Selected Link"),
                  [this] { m_commands.openSelected(); });
}

GraphToolbarControl GraphToolbarModel::deleteButton() const
{
    auto control = button(Glyph::trash, QStringLiteral("Delete Selected Link"),
                          [this] { m_commands.requestDeleteSelected(); });
    control.destructive = true;
    return control;
}

// --- Link mode ---------------------------------------------------------------------------------------

std::optional<GraphToolbarChip> GraphToolbarModel::linkingChip() const
{
    const auto source = m_content.node(m_selection.linkingSourceNodeID());
    if (!source)
        return std::nullopt;
    return GraphToolbarChip{source->title, Glyph::linkPlus, SystemColor::green, false, 150};
}

GraphToolbarControl GraphToolbarModel::cancelLinkingButton() const
{
    return button(Glyph::xmarkCircle, QStringLiteral("Cancel Linking"),
                  [this] { m_commands.cancelLinking(); });
}

// --- The view ----------------------------------------------------------------------------------------

QList<GraphToolbarControl> GraphToolbarModel::viewButtons() const
{
    return {
        button(Glyph::zoomOut, QStringLiteral("Zoom Out"), m_actions.zoomOut),
        button(Glyph::zoomIn, QStringLiteral("Zoom In"), m_actions.zoomIn),
        button(Glyph::scope, QStringLiteral("Center View"), m_actions.resetViewport),
        button(Glyph::reload, QStringLiteral("Sync and Reload Graph"), m_actions.reloadGraph),
    };
}

} // namespace morvane
