#pragma once

#include "GraphElements.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QUuid>

#include <optional>
#include <vector>

namespace morvane {

// Where a node is and how it moves, in layout units around the origin, y pointing down.
struct GraphPlacement {
    QPointF position;
    QPointF velocity;
    bool operator==(const GraphPlacement&) const = default;
};

// Where the shown nodes are: one place per shown node, in the order of the content's nodes, and the
// last place of every node shown before, so that a node keeps its place through every rebuild and
// one hidden for a while comes back where it was last seen. The layout owns it and alone moves the
// nodes; the views, the pointer and the keyboard walk read it. Main thread only; what a large graph's
// places follow from is handed to the pool as plain values.
class GraphPlacements {
public:
    // New nodes wait on a circle whose radius grows with their number up to a ceiling (reached at 16).
    static constexpr double circleBaseRadius = 170;
    static constexpr double circleRadiusPerNode = 12;
    static constexpr double circleLargestRadius = 360;

    // What the places of another set of shown nodes follow from, as it is now: plain values (their
    // copies share the data).
    struct Memory {
        QHash<QUuid, qsizetype> shownIndex; // each shown node's place in shown
        QList<GraphPlacement> shown;
        QHash<QUuid, GraphPlacement> remembered;
        quint64 revision = 0;
    };

    // The places of another set of shown nodes: a node shown now keeps its place, one shown before
    // takes its remembered place, a new one a place on the circle. Nodes that are no longer shown
    // have their places remembered.
    struct Arrangement {
        QHash<QUuid, qsizetype> index;   // the nodes it places (their index, shared)
        std::vector<qsizetype> cameFrom; // each node's place among those, or -1
        QList<GraphPlacement> places;
        QHash<QUuid, GraphPlacement> remembered;
        // What it was worked out from (the nodes shown then and the state of their places), shared
        // with the places at the time. Kept until the arrangement
        // is taken up, so that the thread that worked it out never lets go of the last share of what
        // the layout goes on moving: while this share lives, a step copies the places before it moves
        // them, rather than moving them in place right after another thread read them.
        Memory source;
    };

    // Works out the places of `nodes` (whose index is `index`) from the memory; any thread.
    static Arrangement arrange(Memory memory, const QList<GraphNode>& nodes,
                               const QHash<QUuid, qsizetype>& index);
    Memory memory() const;

    // --- Reading ------------------------------------------------------------------------------------
    // Each shown node's place, in the content's node order.
    const QList<GraphPlacement>& all() const { return m_places; }
    qsizetype size() const { return m_places.size(); }
    QPointF position(qsizetype node) const { return m_places[node].position; }
    // The place of a shown node; none for a node not shown.
    std::optional<QPointF> positionOf(const QUuid& id) const;
    bool contains(const QUuid& id) const { return m_index.contains(id); }
    // Counts every change to the places: a view remembers this rather than a copy of the places it
    // drew, which would make the layout's next step copy them all before it writes.
    quint64 revision() const { return m_revision; }

    // --- Changing (the layout's) ----------------------------------------------------------------------
    // Takes up the content's new set of shown nodes, with their places worked out already when given
    // (and still made for these nodes and from the ones shown now), else working them out here. Nodes
    // the layout moved since an arrangement was worked out keep where it has taken them.
    // An arrangement given is taken (moved from).
    void follow(const QList<GraphNode>& nodes, const QHash<QUuid, qsizetype>& index,
                Arrangement* arranged = nullptr);
    // The places for the layout to move in place.
    QList<GraphPlacement>& moving();
    // Puts a shown node at the point, at rest; false for a node not shown.
    bool place(const QUuid& id, QPointF at);
    // Brings the shown nodes among the ids to rest where they are.
    void stop(const QList<QUuid>& ids);

private:
    void adopt(Arrangement arranged);

    QList<GraphPlacement> m_places;
    QHash<QUuid, qsizetype> m_index; // shown node -> its place in m_places (the content's index)
    QHash<QUuid, GraphPlacement> m_remembered;
    quint64 m_revision = 1;
};

} // namespace morvane
