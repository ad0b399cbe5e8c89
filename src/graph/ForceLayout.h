#pragma once

#include "GraphElements.h"
#include "GraphPlacements.h"
#include "Repulsion.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QSet>
#include <QUuid>

#include <memory>
#include <optional>

namespace morvane {

class GraphWorkPool;

// One tick of the graph's physics: every pair of nodes repels, relations act as springs, the
// neighbours of a node with several relations fan out evenly around it, free nodes drift towards
// the origin, and the centring node glides to it. Dragged and user-placed nodes keep their place
// (they still push and pull the others). All forces are measured on the positions at the start of
// the step.
class ForceLayout {
public:
    struct Pins {
        std::optional<QUuid> dragging;
        const QSet<QUuid>* userPositioned = nullptr;
        std::optional<QUuid> centring;
    };

    // Repulsion K / d² (d² floored), weaker between related nodes.
    static constexpr double repulsion = 9200;
    static constexpr double relatedRepulsion = 1656;
    static constexpr double smallestSquaredDistance = 100;
    // Spring rest length 118 + 14·√n for n nodes.
    static constexpr double restLengthBase = 118;
    static constexpr double restLengthPerRootNode = 14;
    static constexpr double springStiffness = 0.026;
    // Neighbours closer than this fraction of the rest length are fanned as if they were at it.
    static constexpr double fanRadiusFraction = 0.65;
    static constexpr double fanStrength = 3.2;
    static constexpr double pullToOrigin = 0.003;
    static constexpr double speedLimit = 14;
    static constexpr double damping = 0.88;
    // Share of its remaining way the centring node covers per step, and where it snaps to the origin.
    static constexpr double glide = 0.18;
    static constexpr double arrivalDistance = 1;

    // Up to this many nodes every pair is measured; beyond, far-away groups of nodes push as one
    // (see Repulsion.h), the group taken whole when its extent is under this share of its distance.
    // From about here the quadtree is the quicker of the two, and its error stays far under 1 %.
    static constexpr size_t exactRepulsionNodes = 1500;
    static constexpr double openingAngle = 0.7;

    struct StepResult {
        // The centring node reached the origin in this step (the caller then stops centring).
        bool arrived = false;
        // The longest way any node moved along either axis.
        double largestMove = 0;
    };

    // `exactUpTo` moves the point where the quadtree takes over (every pair always, for comparison). A
    // large graph's step is shared with the pool's threads; without one it runs on the caller's alone.
    explicit ForceLayout(size_t exactUpTo = exactRepulsionNodes, GraphWorkPool* pool = nullptr);
    ~ForceLayout();

    // Moves the nodes' places (one per node, in node order) in place. Fewer than two nodes: nothing
    // happens. `cooling` scales every free node's velocity after damping: 1 is the plain step, less
    // brings the layout to rest. Who is related to whom is worked out again only when the nodes or the
    // edges are not those of the last step. `nodeIndex`, each node's place in nodes when the caller
    // keeps one, spares building it again.
    StepResult step(const QList<GraphNode>& nodes, QList<GraphPlacement>& places,
                    const QList<GraphEdge>& edges, const Pins& pins, double cooling = 1,
                    const QHash<QUuid, qsizetype>* nodeIndex = nullptr);

    // Adds every node's repulsion from all others to the field's forces: every pair up to `exactUpTo`
    // nodes, the quadtree beyond.
    static void repel(RepulsionField& field, size_t exactUpTo = exactRepulsionNodes,
                      GraphWorkPool* pool = nullptr);

    // The angle of a neighbour around its hub, atan2(dy, dx) with y pointing down: the order in
    // which a hub's neighbours take their slots.
    static double fanOutAngle(QPointF hub, QPointF neighbour);

    struct Topology;

private:
    size_t m_exactUpTo;
    GraphWorkPool* m_pool;
    std::unique_ptr<Topology> m_topology;
};

} // namespace morvane
