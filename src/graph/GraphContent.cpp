#include "GraphContent.h"

#include "GraphFilters.h"
#include "GraphSelection.h"
#include "GraphWorkPool.h"
#include "LocalizedOrder.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

namespace morvane {

namespace {

template <class T, class Title> void sortByTitle(QList<T>& list, Title title)
{
    const LocalizedOrder order;
    std::stable_sort(list.begin(), list.end(),
                     [&](const T& a, const T& b) { return order.less(title(a), title(b)); });
}

} // namespace

GraphContent::GraphContent(const GraphFilters& filters, const GraphSelection& selection, GraphWorkPool& pool,
                           QObject* parent)
    : QObject(parent)
    , m_filters(filters)
    , m_selection(selection)
    , m_pool(pool)
{
    connect(&filters, &GraphFilters::scopeChanged, this, &GraphContent::rebuild);
    connect(&filters, &GraphFilters::filtersChanged, this, &GraphContent::rebuild);
}

GraphContent::~GraphContent() = default;

template <class... T> void GraphContent::discard(T... values)
{
    m_pool.post([held = std::make_tuple(std::move(values)...)] {});
}

void GraphContent::nodesUpdated()
{
    ++m_nodesRevision;
    emit nodesChanged();
}

void GraphContent::setMessage(const QString& message)
{
    m_message = message;
    emit messageChanged();
}

QString GraphContent::statusText() const
{
    if (m_library.items.isEmpty())
        return QStringLiteral("No links yet. Add links and relations to grow the graph.");
    if (m_filters.scope() == GraphScope::suggestions) {
        const auto shown = std::count_if(m_edges.begin(), m_edges.end(),
                                         [](const GraphEdge& edge) { return edge.kind.isSuggestion(); });
        return QStringLiteral("%1 links with %2 suggested relation%3")
            .arg(m_nodes.size())
            .arg(shown)
            .arg(shown == 1 ? QString() : QStringLiteral("s"));
    }
    return QStringLiteral("%1 of %2 links, %3 relations, %4 suggestions")
        .arg(m_nodes.size())
        .arg(m_library.items.size())
        .arg(m_library.relations.size())
        .arg(m_library.suggestedEdges.size());
}

// --- The library as last loaded ----------------------------------------------------------------------

const LinkItem* GraphContent::nodeItem(const QUuid& id) const
{
    const auto found = m_nodeIndex.constFind(id);
    return found == m_nodeIndex.cend() ? nullptr : &m_library.items[m_nodeItems[*found]];
}

const LinkItem* GraphContent::anyItem(const QUuid& id) const
{
    if (const LinkItem* shown = nodeItem(id))
        return shown;
    const auto found = std::find_if(m_library.items.begin(), m_library.items.end(),
                                    [&](const LinkItem& item) { return item.id == id; });
    return found == m_library.items.end() ? nullptr : &*found;
}

std::optional<GraphNode> GraphContent::node(const std::optional<QUuid>& id) const
{
    if (!id)
        return std::nullopt;
    const auto found =
        std::find_if(m_nodes.begin(), m_nodes.end(), [&](const GraphNode& node) { return node.id == *id; });
    return found == m_nodes.end() ? std::nullopt : std::optional<GraphNode>(*found);
}

QList<LinkType> GraphContent::availableLinkTypes() const
{
    std::set<LinkType> present;
    for (const LinkItem& item : m_library.items)
        present.insert(item.type);
    QList<LinkType> types;
    for (const LinkType type : allLinkTypes()) {
        if (present.contains(type))
            types.append(type);
    }
    return types;
}

QStringList GraphContent::availableSourceApps() const
{
    QStringList apps;
    QSet<QString> seen;
    for (const LinkItem& item : m_library.items) {
        if (!item.sourceApp.isEmpty() && !seen.contains(item.sourceApp)) {
            seen.insert(item.sourceApp);
            apps.append(item.sourceApp);
        }
    }
    LocalizedOrder().sort(apps);
    return apps;
}

QStringList GraphContent::availableTags() const
{
    QStringList tags;
    QSet<QString> seen;
    for (const LinkItem& item : m_library.items) {
        for (const QString& tag : item.tags) {
            if (!seen.contains(tag)) {
                seen.insert(tag);
                tags.append(tag);
            }
        }
    }
    LocalizedOrder().sort(tags);
    return tags;
}

QList<GraphContent::SuggestedRelation> GraphContent::suggestedRelations(const QUuid& nodeID) const
{
    QList<SuggestedRelation> suggestions;
    for (const GraphEdge& edge : m_library.suggestedEdges) {
        if (edge.from != nodeID && edge.to != nodeID)
            continue;
        if (const LinkItem* other = anyItem(edge.from == nodeID ? edge.to : edge.from))
            suggestions.append({*other, edge.kind.reason()});
    }
    sortByTitle(suggestions, [](const SuggestedRelation& each) -> const QString& { return each.item.title; });
    return suggestions;
}

QList<LinkItem> GraphContent::relatedItems(const QUuid& nodeID) const
{
    const QSet<QUuid> related = relatedNodeIDs(nodeID);
    QList<LinkItem> items;
    // In the order of the shown nodes, so that equal titles come in a stable order.
    for (const GraphNode& node : m_nodes) {
        if (related.contains(node.id)) {
            if (const LinkItem* item = nodeItem(node.id))
                items.append(*item);
        }
    }
    sortByTitle(items, [](const LinkItem& each) -> const QString& { return each.title; });
    return items;
}

QSet<QUuid> GraphContent::relatedNodeIDs(const QUuid& id) const
{
    QSet<QUuid> related;
    for (const GraphEdge& edge : m_edges) {
        if (!edge.kind.isRelation())
            continue;
        if (edge.from == id)
            related.insert(edge.to);
        else if (edge.to == id)
            related.insert(edge.from);
    }
    return related;
}

std::optional<GraphEdge> GraphContent::relationEdge(const QUuid& a, const QUuid& b) const
{
    const auto found = std::find_if(m_edges.begin(), m_edges.end(), [&](const GraphEdge& edge) {
        return edge.kind.isRelation() && edge.joins(a, b);
    });
    return found == m_edges.end() ? std::nullopt : std::optional<GraphEdge>(*found);
}

// --- Deriving the visible graph ----------------------------------------------------------------------

void GraphContent::rebuild()
{
    ++m_rebuilds;
    show(m_library.items.isEmpty() ? GraphDerivation::Result() : derivation().derive());
}

GraphDerivation GraphContent::derivation() const
{
    return {m_library.items,
            m_library.relations,
            m_library.degreeByID,
            m_library.suggestedEdges,
            m_filters.scope(),
            m_filters.typeFilters(),
            m_filters.appFilters(),
            m_filters.tagFilters(),
            m_selection.activeNodeID(),
            m_selection.selectedNodeID()};
}

QFuture<std::shared_ptr<GraphContent::Derived>> GraphContent::deriveAway(const GraphLibrary& library,
                                                                         GraphPlacements::Memory places) const
{
    GraphDerivation derivation = this->derivation();
    derivation.items = library.items;
    derivation.relations = library.relations;
    derivation.degreeByID = library.degreeByID;
    derivation.suggestedEdges = library.suggestedEdges;
    // Handed back behind a pointer: the future keeps a copy of what it hands back, and the nodes and
    // their places are changed once shown, which would copy them all if that copy shared them.
    auto work = [derivation = std::move(derivation), places = std::move(places)]() mutable {
        GraphDerivation::Result result = derivation.derive();
        GraphPlacements::Arrangement arranged =
            GraphPlacements::arrange(std::move(places), result.nodes, result.nodeIndex);
        return std::make_shared<Derived>(Derived{std::move(result), std::move(arranged)});
    };
    return m_pool.run(std::move(work));
}

void GraphContent::apply(GraphLibrary library, std::optional<Derived> derived)
{
    discard(std::exchange(m_library, std::move(library)));
    if (!derived) {
        rebuild();
        return;
    }
    ++m_rebuilds;
    show(std::move(derived->result), &derived->arranged);
}

void GraphContent::show(GraphDerivation::Result derived, GraphPlacements::Arrangement* arranged)
{
    discard(std::exchange(m_nodeIndex, std::move(derived.nodeIndex)),
            std::exchange(m_nodeItems, std::move(derived.nodeItems)),
            std::exchange(m_nodes, std::move(derived.nodes)),
            std::exchange(m_edges, std::move(derived.edges)));
    emit nodesReplaced(arranged);
    nodesUpdated();
    emit edgesChanged();
    if (m_library.items.isEmpty())
        return;
    emit rederived();
    setMessage(statusText());
}

// --- Changes in place ----------------------------------------------------------------------------------

// Only between two shown nodes: an accepted suggestion may join links the scope or filters hide,
// and the next load draws that relation when they are shown.
bool GraphContent::addRelationEdge(const QUuid& a, const QUuid& b)
{
    if (!hasNodeItem(a) || !hasNodeItem(b) || relationEdge(a, b))
        return false;
    m_edges.removeIf([&](const GraphEdge& edge) { return edge.kind.isSuggestion() && edge.joins(a, b); });
    m_edges.append({QUuid::createUuid(), a, b, GraphEdgeKind::relation()});
    emit edgesChanged();
    refreshNodeDegree(a);
    refreshNodeDegree(b);
    return true;
}

void GraphContent::refreshNodeDegree(const QUuid& id)
{
    const auto node =
        std::find_if(m_nodes.begin(), m_nodes.end(), [&](const GraphNode& each) { return each.id == id; });
    if (node == m_nodes.end())
        return;
    node->degree = int(std::count_if(m_edges.begin(), m_edges.end(), [&](const GraphEdge& edge) {
        return edge.kind.isRelation() && (edge.from == id || edge.to == id);
    }));
    node->health = healthForDegree(node->degree);
    nodesUpdated();
}

} // namespace morvane
