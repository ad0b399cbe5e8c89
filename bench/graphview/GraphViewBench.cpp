// One frame of the graph window painted offscreen: a scene of nodes spread over the canvas, relation
// edges between them and suggestion chips, with the nodes moved a little between frames as the layout
// does. The budget is a frame of the layout's tick, 33 ms. The large size puts more cards on the
// canvas than the renderer keeps painted, as a library of twenty thousand links does at first.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "graph/widgets/GraphRenderer.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

using namespace morvane;

namespace {

GraphScene scene(long nodeCount, long relationCount, long suggestionCount)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(-450, 450), y(-310, 310);
    std::uniform_int_distribution<long> pick(0, nodeCount - 1);
    GraphScene scene;
    scene.scope = GraphScope::suggestions; // every suggestion shows its chip
    for (long i = 0; i < nodeCount; ++i) {
        const int degree = int(i % 9);
        scene.nodes.append({QUuid::createUuid(),
                            QStringLiteral("Link number %1").arg(i),
                            LinkType(i % 9),
                            QPointF(x(random), y(random)),
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
    return scene;
}

void BM_GraphFrame(benchmark::State& state)
{
    const long nodes = state.range(0);
    GraphScene frame = scene(nodes, nodes * 3 / 2, std::min(80L, nodes));
    GraphRenderer renderer;
    QImage image(920, 640, QImage::Format_ARGB32_Premultiplied);
    long tick = 0;
    for (auto _ : state) {
        // The layout moves every node a little between two frames.
        const double step = (++tick % 2) ? 0.5 : -0.5;
        for (auto& node : frame.nodes)
            node.position += QPointF(step, step);
        QPainter painter(&image);
        renderer.paint(painter, image.size(), frame, GraphViewport());
    }
}
BENCHMARK(BM_GraphFrame)
    ->ArgsProduct({morvane::bench::sizes({1000, 20000}, 20)})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return morvane::bench::runWithApplication<QApplication>(argc, argv);
}
