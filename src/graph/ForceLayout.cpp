#include "ForceLayout.h"

#include <QHash>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

namespace morvane {

namespace {

using std::numbers::pi;

// Everything the step measures, by node position: start-of-step coordinates and summed forces.
struct Frame {
    explicit Frame(const QList<GraphNode>& nodes)
        : x(size_t(nodes.size()))
        , y(size_t(nodes.size()))
        , fx(size_t(nodes.size()), 0.0)
        , fy(size_t(nodes.size()), 0.0)
    {
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            x[size_t(i)] = nodes[i].position.x();
            y[size_t(i)] = nodes[i].position.y();
        }
    }
    std::vector<double> x, y, fx, fy;
};

// The relation neighbours of each node, by position: in edge order, both directions, a pair joined
// twice listed twice, and -1 for an end that has no node (it still takes a slot in a fan).
struct Neighbours {
    Neighbours(const QList<GraphNode>& nodes, const QList<GraphEdge>& edges)
        : first(size_t(nodes.size()) + 1, 0)
    {
        QHash<QUuid, int> position;
        position.reserve(nodes.size());
        for (qsizetype i = 0; i < nodes.size(); ++i)
            position.insert(nodes[i].id, int(i));
        for (const GraphEdge& edge : edges) {
            if (edge.kind.isRelation())
                ends.push_back({position.value(edge.from, -1), position.value(edge.to, -1)});
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
    }

    const int* begin(int node) const { return list.data() + first[size_t(node)]; }
    const int* end(int node) const { return list.data() + first[size_t(node) + 1]; }
    int count(int node) const { return first[size_t(node) + 1] - first[size_t(node)]; }

    std::vector<std::pair<int, int>> ends; // relation edges as (from, to) positions
    std::vector<int> first;                // start of each node's run in list
    std::vector<int> list;
};

// The step's cost is this loop over every pair; wider vector units run more pairs at once where the
// processor has them. Rows [first, last) are paired with every later node; their forces are added
// to fx and fy.
__attribute__((target_clones("avx2", "default"))) void repelRows(const std::vector<double>& xs,
                                                                 const std::vector<double>& ys, size_t first,
                                                                 size_t last, double* __restrict fx,
                                                                 double* __restrict fy)
{
    const size_t n = xs.size();
    const double* __restrict x = xs.data();
    const double* __restrict y = ys.data();
    for (size_t i = first; i < last; ++i) {
        const double xi = x[i];
        const double yi = y[i];
        double sumX = 0;
        double sumY = 0;
        // The sums may be split across vector lanes: this only regroups additions.
#pragma omp simd reduction(+ : sumX, sumY)
        for (size_t j = i + 1; j < n; ++j) {
            const double dx = xi - x[j];
            const double dy = yi - y[j];
            const double s = std::max(dx * dx + dy * dy, ForceLayout::smallestSquaredDistance);
            // (dx, dy) / √s × K / s
            const double k = ForceLayout::repulsion / (s * std::sqrt(s));
            sumX += dx * k;
            sumY += dy * k;
            fx[j] -= dx * k;
            fy[j] -= dy * k;
        }
        fx[i] += sumX;
        fy[i] += sumY;
    }
}

// Below this many nodes one thread does the pairs sooner than several can be started.
constexpr size_t sharedRepulsionNodes = 2500;

// Its own threads: the shared pool may be busy hashing files, and the window waits for this.
QThreadPool& repulsionPool()
{
    static QThreadPool pool;
    return pool;
}

// A large graph's pairs are shared out in bands of rows holding about as many pairs each; every
// band sums into forces of its own, added up at the end, so only the grouping of additions changes.
void repel(Frame& frame)
{
    const size_t n = frame.x.size();
    const size_t bands = n < sharedRepulsionNodes ? 1 : size_t(std::clamp(QThread::idealThreadCount(), 1, 8));
    if (bands == 1)
        return repelRows(frame.x, frame.y, 0, n, frame.fx.data(), frame.fy.data());
    // Row i holds n - 1 - i pairs: the band edges split the triangle into equal areas.
    std::vector<size_t> edges(bands + 1, n);
    for (size_t b = 0; b < bands; ++b)
        edges[b] = size_t(double(n) * (1 - std::sqrt(1 - double(b) / double(bands))));
    std::vector<std::vector<double>> forces(bands - 1, std::vector<double>(2 * n, 0.0));
    QSemaphore done;
    for (size_t b = 1; b < bands; ++b) {
        repulsionPool().start([&, b] {
            auto& own = forces[b - 1];
            repelRows(frame.x, frame.y, edges[b], edges[b + 1], own.data(), own.data() + n);
            done.release();
        });
    }
    repelRows(frame.x, frame.y, edges[0], edges[1], frame.fx.data(), frame.fy.data());
    done.acquire(int(bands - 1));
    for (const auto& own : forces) {
        for (size_t i = 0; i < n; ++i) {
            frame.fx[i] += own[i];
            frame.fy[i] += own[n + i];
        }
    }
}

// Related pairs repel with the weaker constant: the all-pairs pass counted them at full strength,
// so each pair (once, however many relations join it) gets the difference.
void weakenRelatedRepulsion(Frame& frame, const Neighbours& neighbours)
{
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i + 1 < int(neighbours.first.size()); ++i) {
        for (const int* j = neighbours.begin(i); j != neighbours.end(i); ++j) {
            if (*j > i)
                pairs.push_back({i, *j});
        }
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    for (const auto& [i, j] : pairs) {
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

void pullSprings(Frame& frame, const Neighbours& neighbours, double restLength)
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

// Each neighbour of a hub with two or more relations is pushed along the circle around the hub
// towards its own slot; fan are evenly spaced, the first pointing up, taken in angle order.
void fanOut(Frame& frame, const Neighbours& neighbours, double restLength)
{
    const double smallestRadius = ForceLayout::fanRadiusFraction * restLength;
    struct Slot {
        int node;
        double angle;
    };
    std::vector<Slot> fan;
    for (int hub = 0; hub + 1 < int(neighbours.first.size()); ++hub) {
        if (neighbours.count(hub) < 2)
            continue;
        const QPointF hubPosition(frame.x[size_t(hub)], frame.y[size_t(hub)]);
        fan.clear();
        for (const int* n = neighbours.begin(hub); n != neighbours.end(hub); ++n) {
            const double angle =
                *n < 0 ? 0
                       : ForceLayout::fanOutAngle(hubPosition, {frame.x[size_t(*n)], frame.y[size_t(*n)]});
            fan.push_back({*n, angle});
        }
        // An end without a node has no angle: it goes last, so the comparison stays a strict order.
        std::stable_sort(fan.begin(), fan.end(), [](const Slot& a, const Slot& b) {
            return (a.node < 0) != (b.node < 0) ? b.node < 0 : a.angle < b.angle;
        });
        const double k = double(fan.size());
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
            frame.fx[size_t(node)] += -std::sin(theta) * g;
            frame.fy[size_t(node)] += std::cos(theta) * g;
        }
    }
}

} // namespace

double ForceLayout::fanOutAngle(QPointF hub, QPointF neighbour)
{
    return std::atan2(neighbour.y() - hub.y(), neighbour.x() - hub.x());
}

bool ForceLayout::step(QList<GraphNode>& nodes, const QList<GraphEdge>& edges, const Pins& pins)
{
    if (nodes.size() < 2)
        return false;
    Frame frame(nodes);
    const Neighbours neighbours(nodes, edges);
    const double restLength = restLengthBase + restLengthPerRootNode * std::sqrt(double(nodes.size()));
    repel(frame);
    weakenRelatedRepulsion(frame, neighbours);
    pullSprings(frame, neighbours, restLength);
    fanOut(frame, neighbours, restLength);

    bool arrived = false;
    const bool anyUserPositioned = pins.userPositioned && !pins.userPositioned->isEmpty();
    GraphNode* node = nodes.data();
    for (size_t i = 0; i < frame.x.size(); ++i, ++node) {
        if (node->id == pins.dragging || (anyUserPositioned && pins.userPositioned->contains(node->id))) {
            node->velocity = {};
        } else if (!arrived && node->id == pins.centring) {
            const QPointF offset = -node->position;
            node->position += offset * glide;
            node->velocity = {};
            if (std::abs(offset.x()) < arrivalDistance && std::abs(offset.y()) < arrivalDistance) {
                node->position = {};
                arrived = true;
            }
        } else {
            QPointF v = node->velocity + QPointF(frame.fx[i], frame.fy[i]) - node->position * pullToOrigin;
            v.rx() = std::clamp(v.x(), -speedLimit, speedLimit);
            v.ry() = std::clamp(v.y(), -speedLimit, speedLimit);
            v *= damping;
            node->position += v;
            node->velocity = v;
        }
    }
    return arrived;
}

} // namespace morvane
