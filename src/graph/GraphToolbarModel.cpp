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
    : m_model(model)
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
    return scopeTitle(m_model.scope());
}

const QString& GraphToolbarModel::status() const
{
    return m_model.message();
}

// --- Scope -------------------------------------------------------------------------------------------

GraphToolbarControl GraphToolbarModel::scopeMenu() const
{
    return {.icon = scopeGlyph(m_model.scope()),
            .help = QStringLiteral("Choose which part of the context graph to show")};
}

QList<GraphMenuEntry> GraphToolbarModel::scopeEntries()
{
    QList<GraphMenuEntry> entries;
    for (const GraphScope scope : allGraphScopes()) {
        const Glyph icon = scope == m_model.scope() ? Glyph::checkmark : scopeGlyph(scope);
        entries.append(
            GraphMenuEntry::action(scopeTitle(scope), icon, [this, scope] { chooseScope(scope); }));
    }
    return entries;
}

void GraphToolbarModel::chooseScope(GraphScope scope)
{
    m_model.setScope(scope);
}

// --- Filters -----------------------------------------------------------------------------------------

qsizetype GraphToolbarModel::activeFilterCount() const
{
    return qsizetype(m_model.typeFilters().size()) + m_model.appFilters().size() +
           m_model.tagFilters().size();
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
    const QList<LinkType> types = m_model.availableLinkTypes();
    if (types.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No link types")));
    for (const LinkType type : types) {
        const LinkTypePresentation shown = presentation(type);
        const bool on = m_model.typeFilters().contains(type);
        auto entry = GraphMenuEntry::action(shown.title, on ? Glyph::checkmark : shown.glyph,
                                            [this, type] { toggleType(type); });
        entry.tint = shown.color;
        entries.append(std::move(entry));
    }

    entries.append(GraphMenuEntry::section(QStringLiteral("App")));
    const QStringList apps = m_model.availableSourceApps();
    if (apps.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No source apps")));
    for (const QString& app : apps) {
        const Glyph icon = m_model.appFilters().contains(app) ? Glyph::checkmark : Glyph::app;
        // Shown by its Linux name, matched by the stored one.
        entries.append(
            GraphMenuEntry::action(sourceAppDisplayName(app), icon, [this, app] { toggleApp(app); }));
    }

    entries.append(GraphMenuEntry::section(QStringLiteral("Tag")));
    const QStringList tags = m_model.availableTags();
    if (tags.isEmpty())
        entries.append(GraphMenuEntry::text(QStringLiteral("No tags")));
    for (const QString& tag : tags) {
        const Glyph icon = m_model.tagFilters().contains(tag) ? Glyph::checkmark : Glyph::tag;
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
    m_model.setTypeFilters(toggled(m_model.typeFilters(), type));
}

void GraphToolbarModel::toggleApp(const QString& app)
{
    m_model.setAppFilters(toggled(m_model.appFilters(), app));
}

void GraphToolbarModel::toggleTag(const QString& tag)
{
    m_model.setTagFilters(toggled(m_model.tagFilters(), tag));
}

void GraphToolbarModel::clearFilters()
{
    m_model.setTypeFilters({});
    m_model.setAppFilters({});
    m_model.setTagFilters({});
}

// --- The selected node -----------------------------------------------------------------------------

std::optional<GraphToolbarChip> GraphToolbarModel::selectionChip() const
{
    const auto node = m_model.selectedNode();
    if (!node)
        return std::nullopt;
    const LinkTypePresentation shown = presentation(node->type);
    return GraphToolbarChip{node->title, shown.glyph, shown.color, true, 170};
}

bool GraphToolbarModel::offersLinking() const
{
    return !m_model.linkingSourceNodeID().has_value();
}

GraphToolbarControl GraphToolbarModel::linkButton() const
{
    return button(Glyph::linkPlus, QStringLiteral("Link From Selected Node"),
                  [this] { m_model.beginLinkingFromSelection(); });
}

GraphToolbarControl GraphToolbarModel::removeRelationMenu() const
{
    const auto selected = m_model.selectedNodeID();
    GraphToolbarControl menu{.icon = Glyph::linkMinus, .help = QStringLiteral("Remove Relation")};
    menu.enabled = selected && !m_model.relatedItems(*selected).isEmpty();
    return menu;
}

QList<GraphMenuEntry> GraphToolbarModel::removeRelationEntries() const
{
    const auto selected = m_model.selectedNodeID();
    const QList<LinkItem> related = selected ? m_model.relatedItems(*selected) : QList<LinkItem>();
    if (related.isEmpty())
        return {GraphMenuEntry::text(QStringLiteral("No relations"))};
    QList<GraphMenuEntry> entries;
    for (const LinkItem& item : related) {
        const QUuid id = item.id;
        entries.append(GraphMenuEntry::action(item.title, std::nullopt,
                                              [this, id] { m_model.requestRelationRemoval(id); }));
    }
    return entries;
}

GraphToolbarControl GraphToolbarModel::openButton() const
{
    return button(Glyph::openInApp, QStringLiteral("Open Selected Link"), [this] { m_model.openSelected(); });
}

GraphToolbarControl GraphToolbarModel::deleteButton() const
{
    auto control = button(Glyph::trash, QStringLiteral("Delete Selected Link"),
                          [this] { m_model.requestDeleteSelected(); });
    control.destructive = true;
    return control;
}

// --- Link mode ---------------------------------------------------------------------------------------

std::optional<GraphToolbarChip> GraphToolbarModel::linkingChip() const
{
    const auto source = m_model.linkingSourceNode();
    if (!source)
        return std::nullopt;
    return GraphToolbarChip{source->title, Glyph::linkPlus, SystemColor::green, false, 150};
}

GraphToolbarControl GraphToolbarModel::cancelLinkingButton() const
{
    return button(Glyph::xmarkCircle, QStringLiteral("Cancel Linking"), [this] { m_model.cancelLinking(); });
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
