// One frame of the graph window painted offscreen: relation edges between random nodes and suggestion
// chips. Argument 1 is the view: the nodes where the layout leaves them when it first comes to rest
// after opening, seen whole as the window then fits them (0) or at natural size around the centre (1);
// or at natural size, as the window opens, with the nodes still on the circle new nodes wait on (2)
// and a second later (3); the opening is measured at 100,000 nodes too. Argument 2: the nodes moved a little
// between frames as the layout does (1) or standing still (0).

#include "BenchMain.h"
#include "BenchSupport.h"
#include "graph/ForceLayout.h"
#include "graph/GraphViewModel.h"
#include "graph/widgets/GraphRenderer.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

using namespace morvane;

namespace {

// The graph after `steps` layout steps from where new nodes wait, or once it first rests (-1).
GraphScene scene(long nodeCount, long relationCount, long suggestionCount, int steps)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<long> pick(0, nodeCount - 1);
    // New nodes start on a circle around the origin.
    const double radius = std::min(170.0 + 12.0 * double(nodeCount), 360.0);
    GraphScene scene;
    scene.scope = GraphScope::suggestions; // every suggestion shows its chip
    for (long i = 0; i < nodeCount; ++i) {
        const int degree = int(i % 9);
        scene.nodes.append({QUuid::createUuid(), QStringLiteral("Link number %1").arg(i), LinkType(i % 9),
                            degree, healthForDegree(degree)});
        scene.places.append({QPointF(std::cos(2 * M_PI * double(i) / double(nodeCount)),
                                     std::sin(2 * M_PI * double(i) / double(nodeCount))) *
                                 radius,
                             {}});
    }
    const auto join = [&](GraphEdgeKind kind) {
        scene.edges.append(
            {QUuid::createUuid(), scene.nodes[pick(random)].id, scene.nodes[pick(random)].id, kind});
    };
    for (long i = 0; i < relationCount; ++i)
        join(GraphEdgeKind::relation());
    for (long i = 0; i < suggestionCount; ++i)
        join(GraphEdgeKind::suggestion(QStringLiteral("Shared tag %1").arg(i % 7)));
    scene.selectedNodeID = scene.nodes[0].id;
    // The layout at full strength until it cools, then cooling until it rests (30 steps a second).
    GraphWorkPool pool;
    ForceLayout layout(ForceLayout::exactRepulsionNodes, &pool);
    const int delay = GraphLayoutDriver::coolingDelaySteps(nodeCount);
    double cooling = 1;
    for (int step = 0; step < (steps >= 0 ? steps : delay + 30); ++step) {
        if (step >= delay)
            cooling *= GraphLayoutDriver::coolingPerStep;
        layout.step(scene.nodes, scene.places, scene.edges, {}, cooling);
    }
    return scene;
}

void BM_GraphFrame(benchmark::State& state)
{
    const long nodes = state.range(0);
    const long view = state.range(1);
    const bool whole = view == 0;
    const int steps = view == 2 ? 0 : view == 3 ? 30 : -1;
    const bool moving = state.range(2) != 0;
    // Laid out once per size and view.
    static std::map<std::pair<long, int>, GraphScene> scenes;
    if (!scenes.count({nodes, steps}))
        scenes[{nodes, steps}] = scene(nodes, nodes * 3 / 2, std::min(80L, nodes), steps);
    GraphScene frame = scenes[{nodes, steps}];
    // The window draws on the graph's pool.
    GraphWorkPool pool;
    GraphRenderer renderer(nullptr, &pool);
    QImage image(920, 640, QImage::Format_ARGB32_Premultiplied);
    GraphViewport viewport;
    if (whole) {
        QRectF bounds;
        for (const auto& place : frame.places)
            bounds |= QRectF(place.position, QSizeF(1e-3, 1e-3));
        viewport = GraphViewport::fitting(bounds, image.size(), 70);
    }
    long tick = 0;
    for (auto _ : state) {
        // The layout moves every node a little between two frames.
        if (moving) {
            const double step = (++tick % 2) ? 0.5 : -0.5;
            for (auto& place : frame.places)
                place.position += QPointF(step, step);
        }
        QPainter painter(&image);
        renderer.paint(painter, image.size(), frame, viewport);
    }
    state.counters["scale"] = viewport.scale;
}
BENCHMARK(BM_GraphFrame)
    ->ArgsProduct({morvane::bench::sizes({1000, 5000, 20000}, 20), {0, 1, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMillisecond);
// The largest library only as its window opens, before any layout step.
BENCHMARK(BM_GraphFrame)
    ->ArgsProduct({morvane::bench::sizes({100000}, 20), {2}, {1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return morvane::bench::runWithApplication<QApplication>(argc, argv);
}
