#include "ForceLayout.h"

#include "GraphWorkPool.h"
#include "Repulsion.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <vector>

namespace morvane {

// The relation neighbours of each node, by position: in edge order, both directions, a pair joined
// twice listed twice, and -1 for an end that has no node (it still takes a slot in a fan).
struct ForceLayout::Topology {
    Topology(const QList<GraphNode>& nodes, const QList<GraphEdge>& relationEdges,
             const QHash<QUuid, qsizetype>* nodeIndex)
        : edges(relationEdges)
        , first(size_t(nodes.size()) + 1, 0)
    {
        ids.reserve(size_t(nodes.size()));
        for (const GraphNode& node : nodes)
            ids.push_back(node.id);
        if (nodeIndex && nodeIndex->size() == nodes.size()) {
            position = *nodeIndex;
        } else {
            position.reserve(nodes.size());
            for (qsizetype i = 0; i < nodes.size(); ++i)
                position.insert(nodes[i].id, i);
        }
        for (const GraphEdge& edge : edges) {
            if (edge.kind.isRelation())
                ends.push_back({int(position.value(edge.from, -1)), int(position.value(edge.to, -1))});
        }
        for (const auto& [from, to] : ends) {
            first[size_t(from + 1)] += from >= 0;
            first[size_t(to + 1)] += to >= 0;
        }
        std::partial_sum(first.begin(), first.end(), first.begin());
        list.resize(size_t(first.back()));
        std::vector<int> next(first.begin(), first.end() - 1);
        for (const auto& [from, to] : ends) {
            if (from >= 0)
                list[size_t(next[size_t(from)]++)] = to;
            if (to >= 0)
                list[size_t(next[size_t(to)]++)] = from;
        }
        for (int i = 0; i + 1 < int(first.size()); ++i) {
            for (const int* j = begin(i); j != end(i); ++j) {
                if (*j > i)
                    relatedPairs.push_back({i, *j});
            }
        }
        std::sort(relatedPairs.begin(), relatedPairs.end());
        relatedPairs.erase(std::unique(relatedPairs.begin(), relatedPairs.end()), relatedPairs.end());
    }

    // Still right for these nodes and edges: the same edges, and the same ids in the same order (as
    // the index they came with says, when it is the one this was built from).
    bool fits(const QList<GraphNode>& nodes, const QList<GraphEdge>& otherEdges,
              const QHash<QUuid, qsizetype>* nodeIndex) const
    {
        if (size_t(nodes.size()) != ids.size() || !(otherEdges.isSharedWith(edges) || otherEdges == edges))
            return false;
        if (nodeIndex && !nodeIndex->isEmpty() && nodeIndex->isSharedWith(position))
            return true;
        for (size_t i = 0; i < ids.size(); ++i) {
            if (nodes[qsizetype(i)].id != ids[i])
                return false;
        }
        return true;
    }

    int indexOf(const std::optional<QUuid>& id) const { return id ? int(position.value(*id, -1)) : -1; }
    const int* begin(int node) const { return list.data() + first[size_t(node)]; }
    const int* end(int node) const { return list.data() + first[size_t(node) + 1]; }
    int count(int node) const { return first[size_t(node) + 1] - first[size_t(node)]; }

    QList<GraphEdge> edges;
    std::vector<QUuid> ids;
    QHash<QUuid, qsizetype> position;
    std::vector<std::pair<int, int>> ends;         // relation edges as (from, to) positions
    std::vector<int> first;                        // start of each node's run in list
    std::vector<int> list;                         // every node's neighbours, run after run
    std::vector<std::pair<int, int>> relatedPairs; // each related pair once, lower position first
};

namespace {

using std::numbers::pi;

// Everything the step measures, by node position: start-of-step coordinates and summed forces.
struct Frame : RepulsionField {
    explicit Frame(const QList<GraphPlacement>& places)
        : RepulsionField(size_t(places.size()))
    {
        for (qsizetype i = 0; i < places.size(); ++i) {
            x[size_t(i)] = places[i].position.x();
            y[size_t(i)] = places[i].position.y();
        }
    }
};

// Related pairs repel with the weaker constant: the all-pairs pass counted them at full strength,
// so each pair (once, however many relations join it) gets the difference.
void weakenRelatedRepulsion(Frame& frame, const ForceLayout::Topology& topology)
{
    for (const auto& [i, j] : topology.relatedPairs) {
        const double dx = frame.x[size_t(i)] - frame.x[size_t(j)];
        const double dy = frame.y[size_t(i)] - frame.y[size_t(j)];
        const double s = std::max(dx * dx + dy * dy, ForceLayout::smallestSquaredDistance);
        const double k = (ForceLayout::relatedRepulsion - ForceLayout::repulsion) / (s * std::sqrt(s));
        frame.fx[size_t(i)] += dx * k;
        frame.fy[size_t(i)] += dy * k;
        frame.fx[size_t(j)] -= dx * k;
        frame.fy[size_t(j)] -= dy * k;
    }
}

void pullSprings(Frame& frame, const ForceLayout::Topology& neighbours, double restLength)
{
    for (const auto& [from, to] : neighbours.ends) {
        if (from < 0 || to < 0)
            continue;
        const double dx = frame.x[size_t(to)] - frame.x[size_t(from)];
        const double dy = frame.y[size_t(to)] - frame.y[size_t(from)];
        const double d = std::max(std::sqrt(dx * dx + dy * dy), 1.0);
        const double force = (d - restLength) * ForceLayout::springStiffness;
        frame.fx[size_t(from)] += dx / d * force;
        frame.fy[size_t(from)] += dy / d * force;
        frame.fx[size_t(to)] -= dx / d * force;
        frame.fy[size_t(to)] -= dy / d * force;
    }
}

// Below this many relation ends one thread fans every hub out sooner than several can be started.
constexpr size_t sharedFanEnds = 4096;

// Each neighbour of a hub with two or more relations is pushed along the circle around the hub
// towards its own slot; fan are evenly spaced, the first pointing up, taken in angle order. Hubs are
// shared out among threads, each push kept in its slot, and the pushes added up in hub and slot
// order, as one thread would add them.
void fanOut(Frame& frame, const ForceLayout::Topology& neighbours, double restLength, GraphWorkPool* pool)
{
    const double smallestRadius = ForceLayout::fanRadiusFraction * restLength;
    struct Slot {
        int node;
        double angle;
    };
    struct Push {
        int node = -1;
        double x = 0, y = 0;
    };
    std::vector<Push> pushes(neighbours.list.size());
    const int parts = neighbours.list.size() < sharedFanEnds ? 1 : parallelParts(pool);
    // Parts of about as many ends each.
    const auto firstHub = [&](int part) {
        const int ends = int(int64_t(neighbours.first.back()) * part / parts);
        return int(std::lower_bound(neighbours.first.begin(), neighbours.first.end() - 1, ends) -
                   neighbours.first.begin());
    };
    inParallel(pool, parts, [&](int part) {
        std::vector<Slot> fan;
        for (int hub = firstHub(part), last = firstHub(part + 1); hub < last; ++hub) {
            if (neighbours.count(hub) < 2)
                continue;
            const QPointF hubPosition(frame.x[size_t(hub)], frame.y[size_t(hub)]);
            fan.clear();
            for (const int* n = neighbours.begin(hub); n != neighbours.end(hub); ++n) {
                const double angle =
                    *n < 0
                        ? 0
                        : ForceLayout::fanOutAngle(hubPosition, {frame.x[size_t(*n)], frame.y[size_t(*n)]});
                fan.push_back({*n, angle});
            }
            // An end without a node has no angle: it goes last, so the comparison stays a strict order.
            std::stable_sort(fan.begin(), fan.end(), [](const Slot& a, const Slot& b) {
                return (a.node < 0) != (b.node < 0) ? b.node < 0 : a.angle < b.angle;
            });
            const double k = double(fan.size());
            Push* push = pushes.data() + neighbours.first[size_t(hub)];
            for (size_t i = 0; i < fan.size(); ++i) {
                const int node = fan[i].node;
                if (node < 0)
                    continue;
                const double dx = frame.x[size_t(node)] - hubPosition.x();
                const double dy = frame.y[size_t(node)] - hubPosition.y();
                const double radius = std::max(std::sqrt(dx * dx + dy * dy), smallestRadius);
                const double theta = fan[i].angle;
                double delta = 2 * pi * double(i) / k - pi / 2 - theta;
                while (delta > pi)
                    delta -= 2 * pi;
                while (delta < -pi)
                    delta += 2 * pi;
                const double g = delta * ForceLayout::fanStrength / radius;
                push[i] = {node, -std::sin(theta) * g, std::cos(theta) * g};
            }
        }
    });
    for (const Push& push : pushes) {
        if (push.node >= 0) {
            frame.fx[size_t(push.node)] += push.x;
            frame.fy[size_t(push.node)] += push.y;
        }
    }
}

} // namespace

ForceLayout::ForceLayout(size_t exactUpTo, GraphWorkPool* pool)
    : m_exactUpTo(exactUpTo)
    , m_pool(pool)
{
}

ForceLayout::~ForceLayout() = default;

double ForceLayout::fanOutAngle(QPointF hub, QPointF neighbour)
{
    return std::atan2(neighbour.y() - hub.y(), neighbour.x() - hub.x());
}

void ForceLayout::repel(RepulsionField& field, size_t exactUpTo, GraphWorkPool* pool)
{
    if (field.size() <= exactUpTo)
        repelAllPairs(field, repulsion, pool);
    else
        repelByQuadtree(field, repulsion, openingAngle, pool);
}

ForceLayout::StepResult ForceLayout::step(const QList<GraphNode>& nodes, QList<GraphPlacement>& places,
                                          const QList<GraphEdge>& edges, const Pins& pins, double cooling,
                                          const QHash<QUuid, qsizetype>* nodeIndex)
{
    StepResult result;
    Q_ASSERT(places.size() == nodes.size());
    if (nodes.size() < 2)
        return result;
    Frame frame(places);
    if (!m_topology || !m_topology->fits(nodes, edges, nodeIndex))
        m_topology = std::make_unique<Topology>(nodes, edges, nodeIndex);
    const Topology& neighbours = *m_topology;
    const double restLength = restLengthBase + restLengthPerRootNode * std::sqrt(double(nodes.size()));
    repel(frame, m_exactUpTo, m_pool);
    weakenRelatedRepulsion(frame, neighbours);
    pullSprings(frame, neighbours, restLength);
    fanOut(frame, neighbours, restLength, m_pool);

    // Nodes the layout leaves where they are; the centring node.
    std::vector<char> held(frame.size(), 0);
    if (pins.userPositioned) {
        for (const QUuid& id : *pins.userPositioned) {
            if (const int i = neighbours.indexOf(id); i >= 0)
                held[size_t(i)] = 1;
        }
    }
    if (const int i = neighbours.indexOf(pins.dragging); i >= 0)
        held[size_t(i)] = 1;
    const int centring = neighbours.indexOf(pins.centring);
    const auto moved = [&result](QPointF by) {
        result.largestMove = std::max({result.largestMove, std::abs(by.x()), std::abs(by.y())});
    };
    GraphPlacement* node = places.data();
    for (size_t i = 0; i < frame.x.size(); ++i, ++node) {
        if (held[i]) {
            node->velocity = {};
        } else if (int(i) == centring) {
            const QPointF offset = -node->position;
            node->position += offset * glide;
            node->velocity = {};
            moved(offset * glide);
            if (std::abs(offset.x()) < arrivalDistance && std::abs(offset.y()) < arrivalDistance) {
                node->position = {};
                result.arrived = true;
            }
        } else {
            QPointF v = node->velocity + QPointF(frame.fx[i], frame.fy[i]) - node->position * pullToOrigin;
            v.rx() = std::clamp(v.x(), -speedLimit, speedLimit);
            v.ry() = std::clamp(v.y(), -speedLimit, speedLimit);
            v *= damping * cooling;
            node->position += v;
            node->velocity = v;
            moved(v);
        }
    }
    return result;
}

} // namespace morvane
