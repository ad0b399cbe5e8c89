#pragma once

#include "foundation/AppearanceColor.h"
#include "graph/GraphElements.h"
#include "graph/GraphPlacements.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace morvane {

class GraphViewModel;

// The flags a node card is drawn with.
struct NodeCardFlags {
    bool isSelected = false;
    bool isActive = false;
    bool isCentered = false;
    bool isLinkingSource = false;
    bool isKeyboardNavigationAnchor = false;

    bool highlighted() const { return isSelected || isActive || isCentered || isLinkingSource; }
    bool operator==(const NodeCardFlags&) const = default;
};

// How an edge is stroked; the rows of the style table, first match wins.
enum class EdgeStyle { preview, suggestion, neighbor, highlight, relation };

struct EdgeStroke {
    AppearanceColor color;
    double width = 1;
    bool dashed = false;
};

// What one frame of the canvas shows, read from the model at once so that edges, chips and cards
// agree. Built per frame; the canvas keeps nothing of it.
struct GraphScene {
    QList<GraphNode> nodes;
    // Where each node is, in node order.
    QList<GraphPlacement> places;
    QList<GraphEdge> edges;
    std::optional<QUuid> selectedNodeID;
    std::optional<QUuid> activeNodeID;
    std::optional<QUuid> centeredNodeID;
    std::optional<QUuid> linkingSourceNodeID;
    GraphScope scope = GraphScope::all;
    std::optional<QUuid> previewEdgeID;
    std::optional<QUuid> keyboardFocusID;
    QSet<QUuid> keyboardNeighbors;
    std::optional<QUuid> keyboardAnchorID;

    // Each node's place in nodes, as the model keeps it beside them (a scene made by hand has none).
    QHash<QUuid, qsizetype> shownIndex;
    // Which state of the model's nodes and of their places these are (see GraphContent::nodesRevision
    // and GraphPlacements::revision); 0 in a scene made by hand, whose nodes and places are told apart
    // by the identity of the lists.
    quint64 nodesRevision = 0;
    quint64 placesRevision = 0;

    // The same scene without its nodes and places when their revisions tell them apart: what a frame
    // remembers of the scene it drew, which must not share the model's places (the layout would copy
    // them all) nor its nodes.
    GraphScene remembered() const;
    // The nodes are those of the other scene, unchanged; and their places.
    bool sameNodes(const GraphScene& other) const;
    bool samePlaces(const GraphScene& other) const;
    QPointF position(qsizetype node) const { return places[node].position; }

    static GraphScene of(const GraphViewModel& model);

    // Index of every node by id, for constant-time edge ends: the model's, else built from nodes.
    QHash<QUuid, qsizetype> nodeIndex() const;
    // The edge touches the selected, active, centred or linking-source node.
    bool touchesHighlighted(const GraphEdge& edge) const;
    EdgeStyle edgeStyle(const GraphEdge& edge) const;
    // A suggestion edge names its reason in the suggestions scope, or when it touches a highlighted node.
    bool showsChip(const GraphEdge& edge) const;
    NodeCardFlags flags(const GraphNode& node) const;
    bool hasSuggestionEdges() const;
    bool hasHealth(NodeHealth health) const;
};

EdgeStroke edgeStroke(EdgeStyle style);

} // namespace morvane
