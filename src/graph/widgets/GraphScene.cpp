#include "GraphScene.h"

#include "GraphPalette.h"
#include "graph/GraphViewModel.h"

#include <algorithm>

namespace morvane {

GraphScene GraphScene::of(const GraphViewModel& model)
{
    GraphScene scene;
    const GraphSelection& selection = model.selection();
    const GraphNavigation& navigation = model.navigation();
    const GraphPlacements& places = model.layout().placements();
    scene.nodes = model.content().nodes();
    scene.places = places.all();
    scene.edges = model.content().edges();
    scene.shownIndex = model.content().nodeIndex();
    scene.nodesRevision = model.content().nodesRevision();
    scene.placesRevision = places.revision();
    scene.selectedNodeID = selection.selectedNodeID();
    scene.activeNodeID = selection.activeNodeID();
    scene.centeredNodeID = selection.centeredNodeID();
    scene.linkingSourceNodeID = selection.linkingSourceNodeID();
    scene.scope = model.filters().scope();
    if (const auto preview = navigation.keyboardPreviewEdge())
        scene.previewEdgeID = preview->id;
    if (const auto& walk = navigation.keyboardRelationNavigation()) {
        scene.keyboardFocusID = walk->focusNodeID;
        scene.keyboardNeighbors =
            QSet<QUuid>(walk->orderedNeighborIDs.begin(), walk->orderedNeighborIDs.end());
        if (!walk->backStack.isEmpty())
            scene.keyboardAnchorID = walk->backStack.last();
    }
    return scene;
}

GraphScene GraphScene::remembered() const
{
    GraphScene kept = *this;
    if (nodesRevision != 0)
        kept.nodes = {};
    if (placesRevision != 0)
        kept.places = {};
    return kept;
}

bool GraphScene::sameNodes(const GraphScene& other) const
{
    if (nodesRevision != 0 || other.nodesRevision != 0)
        return nodesRevision == other.nodesRevision;
    return nodes.isSharedWith(other.nodes);
}

bool GraphScene::samePlaces(const GraphScene& other) const
{
    if (placesRevision != 0 || other.placesRevision != 0)
        return placesRevision == other.placesRevision;
    return places.isSharedWith(other.places);
}

QHash<QUuid, qsizetype> GraphScene::nodeIndex() const
{
    if (shownIndex.size() == nodes.size())
        return shownIndex;
    QHash<QUuid, qsizetype> index;
    index.reserve(nodes.size());
    for (qsizetype i = 0; i < nodes.size(); ++i)
        index.insert(nodes[i].id, i);
    return index;
}

bool GraphScene::touchesHighlighted(const GraphEdge& edge) const
{
    for (const auto& id : {selectedNodeID, activeNodeID, centeredNodeID, linkingSourceNodeID})
        if (id && (edge.from == *id || edge.to == *id))
            return true;
    return false;
}

EdgeStyle GraphScene::edgeStyle(const GraphEdge& edge) const
{
    if (previewEdgeID == edge.id)
        return EdgeStyle::preview;
    if (edge.kind.isSuggestion())
        return EdgeStyle::suggestion;
    if (keyboardFocusID && keyboardNeighbors.size() >= 2 &&
        ((edge.from == *keyboardFocusID && keyboardNeighbors.contains(edge.to)) ||
         (edge.to == *keyboardFocusID && keyboardNeighbors.contains(edge.from))))
        return EdgeStyle::neighbor;
    if (touchesHighlighted(edge))
        return EdgeStyle::highlight;
    return EdgeStyle::relation;
}

bool GraphScene::showsChip(const GraphEdge& edge) const
{
    return edge.kind.isSuggestion() && (scope == GraphScope::suggestions || touchesHighlighted(edge));
}

NodeCardFlags GraphScene::flags(const GraphNode& node) const
{
    return {node.id == selectedNodeID, node.id == activeNodeID, node.id == centeredNodeID,
            node.id == linkingSourceNodeID, node.id == keyboardAnchorID};
}

bool GraphScene::hasSuggestionEdges() const
{
    return std::any_of(edges.begin(), edges.end(), [](const GraphEdge& e) { return e.kind.isSuggestion(); });
}

bool GraphScene::hasHealth(NodeHealth health) const
{
    return std::any_of(nodes.begin(), nodes.end(),
                       [health](const GraphNode& n) { return n.health == health; });
}

EdgeStroke edgeStroke(EdgeStyle style)
{
    switch (style) {
    case EdgeStyle::preview:
        return {GraphPalette::previewEdge, 3.2, false};
    case EdgeStyle::suggestion:
        return {GraphPalette::suggestion, 1.4, true};
    case EdgeStyle::neighbor:
        return {GraphPalette::neighborEdge, 1.6, false};
    case EdgeStyle::highlight:
        return {GraphPalette::highlightEdge, 2.2, false};
    case EdgeStyle::relation:
        break;
    }
    return {GraphPalette::relationEdge, 1.15, false};
}

} // namespace morvane
