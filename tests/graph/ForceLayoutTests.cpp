#include "VectorPathTest.h"
#include "graph/ForceLayout.h"
#include "graph/GraphWorkPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>

using namespace morvane;

namespace {

// Nodes and their places side by side, as the layout is given them.
struct Laid {
    Laid(std::initializer_list<QPointF> at = {})
    {
        for (const QPointF& point : at)
            add(point);
    }
    void add(QPointF at)
    {
        nodes.append({QUuid::createUuid(), QStringLiteral("n"), LinkType::web, 0, NodeHealth::orphan});
        places.append({at, {}});
    }
    const QUuid& id(qsizetype i) const { return nodes[i].id; }
    QPointF position(qsizetype i) const { return places[i].position; }
    QPointF velocity(qsizetype i) const { return places[i].velocity; }
    ForceLayout::StepResult step(ForceLayout&& layout, const QList<GraphEdge>& edges,
                                 const ForceLayout::Pins& pins)
    {
        return layout.step(nodes, places, edges, pins);
    }

    QList<GraphNode> nodes;
    QList<GraphPlacement> places;
};

GraphEdge edge(const QUuid& from, const QUuid& to, GraphEdgeKind kind = GraphEdgeKind::relation())
{
    return {QUuid::createUuid(), from, to, kind};
}

// The velocity a free node takes from a force F at position p, starting at rest.
double velocityFrom(double force, double position)
{
    return std::clamp(force - position * ForceLayout::pullToOrigin, -14.0, 14.0) * ForceLayout::damping;
}

// Nodes spread normally around their cluster's centre, the i-th node's given by centre(i).
RepulsionField clustered(size_t nodes, unsigned seed, double spread,
                         const std::function<QPointF(size_t)>& centre)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> around(0, spread);
    RepulsionField field(nodes);
    for (size_t i = 0; i < nodes; ++i) {
        field.x[i] = centre(i).x() + around(random);
        field.y[i] = centre(i).y() + around(random);
    }
    return field;
}

// The repulsion's loops, on each vector path.
class RepulsionPaths : public VectorPathTest {};
INSTANTIATE_TEST_SUITE_P(VectorPaths, RepulsionPaths, VectorPathTest::paths(), VectorPathTest::name);

} // namespace

TEST(ForceLayoutTests, RepulsionAndSpeedLimit)
{
    const struct {
        const char* name;
        double x;             // the nodes sit at (x, 0) and (−x, 0)
        bool suggestionEdge;  // joined by a suggestion, which takes no part in the layout
        double expectedForce; // on the node at (x, 0), along x
    } cases[] = {
        {"100 apart", 50, false, 0.92},
        {"joined by a suggestion", 50, true, 0.92},
        {"same place", 0, false, 0},
        {"closer than 10: strength and direction floored", 0.5, false, 92 * 0.1},
    };
    for (const auto& c : cases) {
        Laid nodes{{c.x, 0}, {-c.x, 0}};
        const QList<GraphEdge> edges{edge(nodes.id(0), nodes.id(1), GraphEdgeKind::suggestion("#t"))};
        nodes.step(ForceLayout(), c.suggestionEdge ? edges : QList<GraphEdge>{}, {});
        const double v = velocityFrom(c.expectedForce, c.x);
        EXPECT_NEAR(nodes.velocity(0).x(), v, 1e-9) << c.name;
        EXPECT_NEAR(nodes.velocity(1).x(), -v, 1e-9) << c.name;
        EXPECT_NEAR(nodes.position(0).x(), c.x + v, 1e-9) << c.name;
        EXPECT_EQ(nodes.velocity(0).y(), 0) << c.name;
    }
    // A far stretched relation pulls hard, yet a node moves by 12.32 at most, its velocity the distance.
    Laid stretched{{5000, 0}, {-5000, 0}};
    stretched.step(ForceLayout(), {edge(stretched.id(0), stretched.id(1))}, {});
    EXPECT_DOUBLE_EQ(stretched.velocity(0).x(), -12.32);
    EXPECT_DOUBLE_EQ(stretched.position(0).x(), 5000 - 12.32);
}

TEST(ForceLayoutTests, CentringPinsAndTooFewNodes)
{
    const QSet<QUuid> none;
    Laid nodes{{0.5, -0.9}, {300, 0}};
    EXPECT_TRUE(nodes.step(ForceLayout(), {}, {std::nullopt, &none, nodes.id(0)}).arrived);
    EXPECT_EQ(nodes.position(0), QPointF(0, 0));

    nodes = {{2, 0}, {300, 0}};
    EXPECT_FALSE(nodes.step(ForceLayout(), {}, {std::nullopt, &none, nodes.id(0)}).arrived);
    EXPECT_NEAR(nodes.position(0).x(), 1.64, 1e-12);
    EXPECT_EQ(nodes.velocity(0), QPointF(0, 0));

    // Placed by the user or dragged: neither centred nor moved, and the centring stays pending.
    nodes = {{2, 0}, {5, 5}, {300, 0}};
    const QSet<QUuid> placed{nodes.id(0)};
    EXPECT_FALSE(nodes.step(ForceLayout(), {}, {nodes.id(1), &placed, nodes.id(0)}).arrived);
    EXPECT_EQ(nodes.position(0), QPointF(2, 0));
    EXPECT_EQ(nodes.position(1), QPointF(5, 5));

    Laid single{{40, 40}};
    single.places[0].velocity = {3, 3};
    EXPECT_FALSE(single.step(ForceLayout(), {}, {}).arrived);
    EXPECT_EQ(single.position(0), QPointF(40, 40));
}

// A hub's neighbours take evenly spaced slots in angle order, the first pointing up; an end that has
// no node sorts last and only takes a slot.
TEST(ForceLayoutTests, HubFansItsNeighboursOutTowardsTheirSlots)
{
    using std::numbers::pi;
    const double rest = ForceLayout::restLengthBase + ForceLayout::restLengthPerRootNode * std::sqrt(3.0);
    Laid nodes{{0, 0}, {rest, 0}, {-rest, 0}};
    const QSet<QUuid> hub{nodes.id(0)};
    const QList<GraphEdge> edges{edge(nodes.id(0), QUuid::createUuid()), edge(nodes.id(0), nodes.id(1)),
                                 edge(nodes.id(2), nodes.id(0))};
    nodes.step(ForceLayout(), edges, {std::nullopt, &hub, std::nullopt});

    const double strength = ForceLayout::fanStrength / rest * ForceLayout::damping;
    EXPECT_NEAR(nodes.velocity(1).y(), -pi / 2 * strength, 1e-9) << "slot −90°, at 0°";
    EXPECT_NEAR(nodes.velocity(2).y(), 5 * pi / 6 * strength, 1e-9) << "slot 30°, at 180°";
    EXPECT_EQ(ForceLayout::fanOutAngle({0, 0}, {0, -1}), -pi / 2);
}

// A graph large enough for its pairs to be shared among threads feels every pair exactly once when
// every pair is measured.
TEST_P(RepulsionPaths, LargeGraphFeelsEveryPairOnce)
{
    Laid nodes;
    for (int i = 0; i < 3001; ++i)
        nodes.add({std::fmod(i * 7919.0, 6000) - 3000, std::fmod(i * 104729.0, 5000) - 2500});
    const Laid start = nodes;
    nodes.step(ForceLayout(size_t(nodes.nodes.size())), {}, {});
    int wrong = 0;
    for (qsizetype i = 0; i < start.nodes.size(); ++i) {
        QPointF force;
        for (qsizetype j = 0; j < start.nodes.size(); ++j) {
            const QPointF d = start.position(i) - start.position(j);
            const double s = std::max(d.x() * d.x() + d.y() * d.y(), ForceLayout::smallestSquaredDistance);
            force += d * (ForceLayout::repulsion / (s * std::sqrt(s)));
        }
        const QPointF p = start.position(i);
        wrong += std::abs(nodes.velocity(i).x() - velocityFrom(force.x(), p.x())) > 1e-9 ||
                 std::abs(nodes.velocity(i).y() - velocityFrom(force.y(), p.y())) > 1e-9;
    }
    EXPECT_EQ(wrong, 0);
}

// Far-away groups pushing as one: on layouts spread evenly, in clusters, and with many nodes on one
// spot, the forces stay close to those of every pair.
TEST_P(RepulsionPaths, TheQuadtreeRepulsionStaysCloseToTheExactOne)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> spread(-6000, 6000);
    std::normal_distribution<double> cluster(0, 150);
    const struct {
        const char* name;
        std::function<QPointF(int)> place;
    } layouts[] = {
        {"spread evenly", [&](int) { return QPointF(spread(random), spread(random)); }},
        {"in clusters",
         [&](int i) {
             const QPointF centre((i % 7) * 900 - 2700, (i % 5) * 700 - 1400);
             return centre + QPointF(cluster(random), cluster(random));
         }},
        {"a third on one spot",
         [&](int i) { return i % 3 == 0 ? QPointF(40, 40) : QPointF(spread(random), spread(random)); }},
    };
    GraphWorkPool pool(4);
    for (const auto& layout : layouts) {
        for (const size_t nodes : {ForceLayout::exactRepulsionNodes + 1, size_t(3000)}) {
            RepulsionField exact(nodes);
            for (size_t i = 0; i < exact.size(); ++i) {
                const QPointF at = layout.place(int(i));
                exact.x[i] = at.x();
                exact.y[i] = at.y();
            }
            RepulsionField approximate = exact;
            repelAllPairs(exact, ForceLayout::repulsion, &pool);
            repelByQuadtree(approximate, ForceLayout::repulsion, ForceLayout::openingAngle, &pool);
            double error = 0, total = 0;
            for (size_t i = 0; i < exact.size(); ++i) {
                error += std::pow(approximate.fx[i] - exact.fx[i], 2) +
                         std::pow(approximate.fy[i] - exact.fy[i], 2);
                total += std::pow(exact.fx[i], 2) + std::pow(exact.fy[i], 2);
            }
            EXPECT_LT(std::sqrt(error / total), 0.01) << layout.name << ", " << nodes << " nodes";
        }
    }
}

// With no group far enough to act as one (an opening angle of 0), the walk down the tree shared out
// among threads must still bring every node's push to every other exactly once: the sum over every
// pair, up to the single precision of the near pushes.
TEST_P(RepulsionPaths, TheQuadtreeWithoutGroupsFeelsEveryPairOnce)
{
    RepulsionField exact =
        clustered(3000, 5, 400, [](size_t i) { return QPointF((i % 4) * 3000.0, (i % 3) * 2000.0); });
    exact.x[7] = exact.x[8]; // two nodes on one spot
    exact.y[7] = exact.y[8];
    RepulsionField walked = exact;
    GraphWorkPool pool(4);
    repelAllPairs(exact, ForceLayout::repulsion, &pool);
    repelByQuadtree(walked, ForceLayout::repulsion, 0, &pool);
    double worst = 0;
    for (size_t i = 0; i < exact.size(); ++i) {
        const double force = std::hypot(exact.fx[i], exact.fy[i]);
        worst = std::max(worst, std::hypot(walked.fx[i] - exact.fx[i], walked.fy[i] - exact.fy[i]) /
                                    std::max(force, 1e-3));
    }
    EXPECT_LT(worst, 1e-4);
}

// One layout keeps who is related to whom between steps: a step after the edges or the order of the
// nodes changed moves the nodes as a fresh layout would.
TEST(ForceLayoutTests, AStepAfterTheGraphChangedSeesTheNewGraph)
{
    const Laid start{{-300, 0}, {300, 0}, {0, 250}};
    const QList<GraphEdge> related{edge(start.id(0), start.id(1)), edge(start.id(1), start.id(2))};
    Laid reordered = start; // the last node first
    std::rotate(reordered.nodes.begin(), reordered.nodes.begin() + 2, reordered.nodes.end());
    std::rotate(reordered.places.begin(), reordered.places.begin() + 2, reordered.places.end());
    const struct {
        const char* name;
        Laid nodes;
        QList<GraphEdge> edges;
    } cases[] = {
        {"relations between them", start, related},
        {"the nodes in another order", reordered, related},
        {"the relations gone", start, {}},
    };
    ForceLayout layout;
    ForceLayout indexed; // told each node's place, as the model tells it
    for (const auto& c : cases) {
        QList<GraphPlacement> kept = c.nodes.places;
        QList<GraphPlacement> fresh = c.nodes.places;
        QList<GraphPlacement> placed = c.nodes.places;
        QHash<QUuid, qsizetype> index;
        for (qsizetype i = 0; i < c.nodes.nodes.size(); ++i)
            index.insert(c.nodes.id(i), i);
        layout.step(c.nodes.nodes, kept, c.edges, {});
        indexed.step(c.nodes.nodes, placed, c.edges, {}, 1, &index);
        ForceLayout().step(c.nodes.nodes, fresh, c.edges, {});
        EXPECT_EQ(kept, fresh) << c.name;
        EXPECT_EQ(placed, fresh) << c.name << ", with the index";
    }
}

// The portable path and the widest the processor has give the same forces, but for the grouping of
// additions across vector lanes: to the last digits every pair measured in double precision, to the
// single precision of the quadtree's near pushes.
TEST(ForceLayoutTests, EveryVectorPathPushesAlike)
{
    const RepulsionField start =
        clustered(3001, 11, 600, [](size_t i) { return QPointF((i % 3) * 2500.0, (i % 2) * 2500.0); });
    GraphWorkPool pool(4);
    const auto pushed = [&](auto repel) {
        return [&, repel] {
            RepulsionField field = start;
            repel(field);
            return field;
        };
    };
    const auto [exactPortable, exactWidest] =
        onEachVectorPath(pushed([&](RepulsionField& f) { repelAllPairs(f, ForceLayout::repulsion, &pool); }));
    const auto [treePortable, treeWidest] = onEachVectorPath(pushed([&](RepulsionField& f) {
        repelByQuadtree(f, ForceLayout::repulsion, ForceLayout::openingAngle, &pool);
    }));
    const auto worst = [](const RepulsionField& a, const RepulsionField& b) {
        double worst = 0;
        for (size_t i = 0; i < a.size(); ++i)
            worst = std::max(worst, std::hypot(a.fx[i] - b.fx[i], a.fy[i] - b.fy[i]) /
                                        std::max(std::hypot(a.fx[i], a.fy[i]), 1e-3));
        return worst;
    };
    EXPECT_LT(worst(exactPortable, exactWidest), 1e-9);
    EXPECT_LT(worst(treePortable, treeWidest), 1e-4);
}
