// One frame of the graph window painted offscreen: nodes where the layout leaves them when it first
// comes to rest after opening, relation edges between random nodes and suggestion chips, seen whole
// as the window then fits them (argument 1 = 0) or at natural size around the centre (1), with the
// nodes moved a little between frames as the layout does (argument 2 = 1) or standing still (0).

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

GraphScene scene(long nodeCount, long relationCount, long suggestionCount)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<long> pick(0, nodeCount - 1);
    // New nodes start on a circle around the origin.
    const double radius = std::min(170.0 + 12.0 * double(nodeCount), 360.0);
    GraphScene scene;
    scene.scope = GraphScope::suggestions; // every suggestion shows its chip
    for (long i = 0; i < nodeCount; ++i) {
        const int degree = int(i % 9);
        scene.nodes.append({QUuid::createUuid(),
                            QStringLiteral("Link number %1").arg(i),
                            LinkType(i % 9),
                            QPointF(std::cos(2 * M_PI * double(i) / double(nodeCount)),
                                    std::sin(2 * M_PI * double(i) / double(nodeCount))) *
                                radius,
                            {},
                            degree,
                            healthForDegree(degree)});
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
    // The layout at full strength until it cools, then cooling until it rests.
    ForceLayout layout;
    const int delay = GraphLayoutDriver::coolingDelaySteps(nodeCount);
    double cooling = 1;
    for (int step = 0; step < delay + 30; ++step) {
        if (step >= delay)
            cooling *= GraphLayoutDriver::coolingPerStep;
        layout.step(scene.nodes, scene.edges, {}, cooling);
    }
    return scene;
}

void BM_GraphFrame(benchmark::State& state)
{
    const long nodes = state.range(0);
    const bool whole = state.range(1) == 0;
    const bool moving = state.range(2) != 0;
    // Laid out once per size.
    static std::map<long, GraphScene> scenes;
    if (!scenes.count(nodes))
        scenes[nodes] = scene(nodes, nodes * 3 / 2, std::min(80L, nodes));
    GraphScene frame = scenes[nodes];
    GraphRenderer renderer;
    QImage image(920, 640, QImage::Format_ARGB32_Premultiplied);
    GraphViewport viewport;
    if (whole) {
        QRectF bounds;
        for (const auto& node : frame.nodes)
            bounds |= QRectF(node.position, QSizeF(1e-3, 1e-3));
        viewport = GraphViewport::fitting(bounds, image.size(), 70);
    }
    long tick = 0;
    for (auto _ : state) {
        // The layout moves every node a little between two frames.
        if (moving) {
            const double step = (++tick % 2) ? 0.5 : -0.5;
            for (auto& node : frame.nodes)
                node.position += QPointF(step, step);
        }
        QPainter painter(&image);
        renderer.paint(painter, image.size(), frame, viewport);
    }
    state.counters["scale"] = viewport.scale;
}
BENCHMARK(BM_GraphFrame)
    ->ArgsProduct({morvane::bench::sizes({1000, 5000, 20000}, 20), {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return morvane::bench::runWithApplication<QApplication>(argc, argv);
}
