#pragma once

#include "ForceLayout.h"
#include "GraphPlacements.h"

#include <QObject>
#include <QPointF>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class Clock;
class ClockTimer;
class GraphContent;
class GraphWorkPool;

// Keeps where the shown nodes are and runs the force layout over them while the window is shown: thirty
// steps a second while anything moves, cooling once nothing has woken it for a while, resting (its
// timer stopped) once no node moves visibly. A node the user drags stays where it is put; a centred
// node may glide to the origin. Each new set of shown nodes the content derives is placed here
// before anything else hears of it. Main thread only.
class GraphLayoutDriver : public QObject {
    Q_OBJECT
public:
    // The layout ticks thirty times a second while it moves.
    static constexpr std::chrono::milliseconds stepInterval{1000 / 30};
    // Once nothing has woken the layout for a while it cools: each step keeps this share of the speed
    // the step before allowed, so motion that would go on for ever (a hub's fan chasing its own
    // slots) dies away. The while is a second and a half, longer for a large graph, which takes
    // longer to spread out from the circle new nodes start on (six seconds at 5,000 nodes, eight from 6,700).
    static int coolingDelaySteps(qsizetype nodes)
    {
        return int(std::clamp<qsizetype>(nodes * 36 / 1000, 45, 240));
    }
    static constexpr double coolingPerStep = 0.85;
    // After this many steps in a row in which no node moved visibly, the layout rests: its timer stops.
    static constexpr int restingSteps = 10;

    // The content and the pool outlive the driver; a large graph's step is shared with the pool.
    GraphLayoutDriver(const GraphContent& content, std::shared_ptr<Clock> clock, GraphWorkPool& pool,
                      QObject* parent = nullptr);
    ~GraphLayoutDriver() override;

    // Makes the timer and wakes the layout; stop() drops the timer.
    void start();
    void stop();
    // Stops while the layout rests; anything that can move a node starts it again.
    bool isRunning() const;
    // Where each shown node is, in the content's node order.
    const GraphPlacements& placements() const { return m_placements; }

    // One tick of the force layout; one nodesMoved() for the whole step. layoutSettled() when the
    // layout comes to rest.
    void step();
    // Runs the layout at full strength again, also when it rests: on every change to the graph, the
    // selection or a node's place, and on a resize or a zoom of the view.
    void wake();
    // The least move, in layout units, that the view can show (half a pixel at its zoom): a layout
    // whose every node moves less than this is at rest.
    void setVisibleMotion(double layoutUnits) { m_visibleMotion = layoutUnits; }

    // Animated, the layout glides the node to the origin unless the user has placed it by hand;
    // otherwise any glide ends. Wakes the layout.
    void glideToOrigin(const QUuid& id, bool animated);
    void stopGliding() { m_animatingCenterNodeID.reset(); }
    // The node the layout is gliding to the origin, if any.
    std::optional<QUuid> animatingCenterNodeID() const { return m_animatingCenterNodeID; }

    // Puts the node at the point while the user drags it; the layout leaves it there.
    void dragNode(const QUuid& id, QPointF point);
    // From now on the layout leaves the node where the user put it.
    void endDrag(const QUuid& id);
    std::optional<QUuid> draggingNodeID() const { return m_draggingNodeID; }
    const QSet<QUuid>& userPositionedNodeIDs() const { return m_userPositionedNodeIDs; }
    // Forgets the pins of nodes the content no longer shows.
    void forgetHiddenPins();
    // Two nodes were just related: they start from rest, and the layout wakes.
    void nodesJoined(const QUuid& a, const QUuid& b);

signals:
    // The layout or a drag moved shown nodes (a new set of shown nodes is the content's nodesChanged()).
    void nodesMoved();
    void layoutSettled();

private:
    const GraphContent& m_content;
    std::shared_ptr<Clock> m_clock;
    GraphPlacements m_placements;
    ForceLayout m_layout;
    std::unique_ptr<ClockTimer> m_timer;
    // Steps since the layout was last woken, the share of speed it keeps, and steps in a row that
    // moved nothing visibly.
    int m_stepsSinceWake = 0;
    double m_cooling = 1;
    int m_stillSteps = 0;
    double m_visibleMotion = 0.5;
    std::optional<QUuid> m_animatingCenterNodeID;
    std::optional<QUuid> m_draggingNodeID;
    QSet<QUuid> m_userPositionedNodeIDs;
};

} // namespace morvane
