#include "GraphDerivation.h"

#include <algorithm>
#include <functional>

namespace morvane {

GraphDerivation::Result GraphDerivation::derive() const
{
    Result result;
    const std::vector<qsizetype> visible = applyScope(filteredItems());
    result.nodeIndex.reserve(qsizetype(visible.size()));
    for (size_t i = 0; i < visible.size(); ++i)
        result.nodeIndex.insert(items[visible[i]].id, qsizetype(i));
    result.nodeItems = QList<qsizetype>(visible.begin(), visible.end());
    result.nodes = shownNodes(visible);
    result.edges = visibleEdges(result.nodeIndex);
    return result;
}

bool GraphDerivation::matches(const LinkItem& item, const std::set<LinkType>& typeFilters,
                              const QSet<QString>& appFilters, const QSet<QString>& tagFilters)
{
    if (!typeFilters.empty() && !typeFilters.contains(item.type))
        return false;
    if (!appFilters.isEmpty() && !appFilters.contains(item.sourceApp))
        return false;
    if (tagFilters.isEmpty())
        return true;
    return std::any_of(item.tags.begin(), item.tags.end(),
                       [&](const QString& tag) { return tagFilters.contains(tag); });
}

std::vector<qsizetype> GraphDerivation::filteredItems() const
{
    std::vector<qsizetype> kept;
    kept.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (matches(items[i], typeFilters, appFilters, tagFilters))
            kept.push_back(i);
    }
    return kept;
}

std::vector<qsizetype> GraphDerivation::applyScope(std::vector<qsizetype> kept) const
{
    QSet<QUuid> chosen;
    std::function<bool(const LinkItem&)> keeps;
    switch (scope) {
    case GraphScope::all:
        return kept;
    case GraphScope::currentNeighborhood: {
        const std::optional<QUuid> centre = activeNodeID ? activeNodeID : selectedNodeID;
        if (!centre)
            return kept;
        chosen.insert(*centre);
        for (const LinkRelation& relation : relations) {
            if (relation.fromLinkID == *centre)
                chosen.insert(relation.toLinkID);
            if (relation.toLinkID == *centre)
                chosen.insert(relation.fromLinkID);
        }
        for (const GraphEdge& edge : suggestedEdges) {
            if (edge.from == *centre)
                chosen.insert(edge.to);
            if (edge.to == *centre)
                chosen.insert(edge.from);
        }
        keeps = [&chosen](const LinkItem& item) { return chosen.contains(item.id); };
        break;
    }
    case GraphScope::orphans:
        keeps = [this](const LinkItem& item) { return degreeByID.value(item.id) == 0; };
        break;
    case GraphScope::weakLinks:
        keeps = [this](const LinkItem& item) { return degreeByID.value(item.id) < 2; };
        break;
    case GraphScope::suggestions:
        for (const GraphEdge& edge : suggestedEdges) {
            chosen.insert(edge.from);
            chosen.insert(edge.to);
        }
        keeps = [&chosen](const LinkItem& item) { return chosen.contains(item.id); };
        break;
    }
    std::erase_if(kept, [&](qsizetype index) { return !keeps(items[index]); });
    return kept;
}

QList<GraphNode> GraphDerivation::shownNodes(const std::vector<qsizetype>& visible) const
{
    QList<GraphNode> nodes;
    nodes.reserve(qsizetype(visible.size()));
    for (const qsizetype index : visible) {
        const LinkItem& item = items[index];
        const int degree = degreeByID.value(item.id);
        nodes.append({item.id, item.title, item.type, degree, healthForDegree(degree)});
    }
    return nodes;
}

QList<GraphEdge> GraphDerivation::visibleEdges(const QHash<QUuid, qsizetype>& shown) const
{
    QList<GraphEdge> edges;
    for (const LinkRelation& relation : relations) {
        if (shown.contains(relation.fromLinkID) && shown.contains(relation.toLinkID))
            edges.append({relation.id, relation.fromLinkID, relation.toLinkID, GraphEdgeKind::relation()});
    }
    for (const GraphEdge& edge : suggestedEdges) {
        if (shown.contains(edge.from) && shown.contains(edge.to))
            edges.append(edge);
    }
    return edges;
}

} // namespace morvane
