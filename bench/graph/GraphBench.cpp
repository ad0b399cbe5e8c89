// The graph model on generated libraries: a whole reload (store read, suggestions, rebuild) awaited
// on the main thread while a 1 ms timer measures how long the main thread was kept from its events,
// one force-layout step, and the repulsion computed over every pair and by the quadtree side by side.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "capture/ActiveContextService.h"
#include "graph/ForceLayout.h"
#include "graph/GraphViewModel.h"
#include "graph/Repulsion.h"
#include "store/ItemOpener.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

using namespace morvane;
using morvane::bench::generatedLinkStore;

namespace {

// The clock's timers are not used: the benchmark steps the layout itself.
class IdleClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::chrono::milliseconds monotonic() const override { return {}; }
    std::unique_ptr<ClockTimer> makeTimer(std::function<void()>) override { return nullptr; }
};

// Nothing is opened while the graph is measured.
class NoOpener final : public ItemOpener {
public:
    QCoro::Task<std::optional<FileIdentity>> open(LinkItem, std::optional<FileIdentity>) override
    {
        co_return std::nullopt;
    }
};

// Reloads and waits for the load to be applied, while a 1 ms timer records the longest time the main
// thread went without serving it.
class MeasuredReload {
public:
    explicit MeasuredReload(GraphViewModel& model)
        : m_model(model)
    {
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout,
                         [this] { m_longestStall = std::max(m_longestStall, m_sinceTick.restart()); });
    }

    void operator()()
    {
        const QString done = QStringLiteral("load %1").arg(++m_round);
        QEventLoop loop;
        QObject::connect(&m_model.content(), &GraphContent::messageChanged, &loop, [&] {
            if (m_model.content().message() == done)
                loop.quit();
        });
        m_sinceTick.start();
        m_ticker.start();
        m_model.loader().reload(done);
        loop.exec();
        m_ticker.stop();
    }

    qint64 longestStall() const { return m_longestStall; }

private:
    GraphViewModel& m_model;
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    qint64 m_longestStall = 0;
    int m_round = 0;
};

// The first load into an empty graph is done before the measured ones, which replace a whole graph
// as every reload after a change does; the stall counts both.
void BM_LoadWithSuggestions(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    GraphViewModel model(
        store, std::make_shared<ItemOpening>(store, std::make_shared<NoOpener>()),
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{}),
        std::make_shared<IdleClock>());
    MeasuredReload reload(model);
    reload();
    for (auto _ : state)
        reload();
    state.counters["links"] = double(model.content().library().items.size());
    state.counters["suggestions"] = double(model.content().library().suggestedEdges.size());
    state.counters["longest_main_thread_stall_ms"] = double(reload.longestStall());
}

// Nodes spread as a settled layout spreads them: about one node per rest length squared.
QList<GraphNode> spreadNodes(int n)
{
    std::mt19937 random(7);
    const double extent = 200 * std::sqrt(double(n));
    std::uniform_real_distribution<double> coordinate(-extent / 2, extent / 2);
    QList<GraphNode> nodes;
    for (int i = 0; i < n; ++i)
        nodes.append({QUuid::createUuid(),
                      QStringLiteral("n"),
                      LinkType::web,
                      QPointF(coordinate(random), coordinate(random)),
                      {},
                      0,
                      NodeHealth::orphan});
    return nodes;
}

RepulsionField fieldOf(const QList<GraphNode>& nodes)
{
    RepulsionField field(size_t(nodes.size()));
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        field.x[size_t(i)] = nodes[i].position.x();
        field.y[size_t(i)] = nodes[i].position.y();
    }
    return field;
}

// The whole step as the window runs it (argument 1 = 0): all pairs up to its limit, the quadtree
// beyond; and, beside it, the same step measuring every pair whatever the size (1).
void BM_LayoutStep(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool exact = state.range(1) != 0;
    QList<GraphNode> nodes = spreadNodes(n);
    std::mt19937 random(11);
    QList<GraphEdge> edges;
    for (int i = 0; i < n / 2; ++i)
        edges.append(
            {QUuid::createUuid(), nodes[random() % n].id, nodes[random() % n].id, GraphEdgeKind::relation()});
    const QSet<QUuid> placed{nodes[0].id};
    ForceLayout layout(exact ? size_t(n) : ForceLayout::exactRepulsionNodes);
    for (auto _ : state) {
        layout.step(nodes, edges, {std::nullopt, &placed, std::nullopt});
        benchmark::DoNotOptimize(nodes.data());
    }
    state.counters["threads"] = QThread::idealThreadCount();
}

// The repulsion alone, every pair (argument 1 = 0) or by the quadtree (1), on the same nodes; the
// quadtree's counters give its error against the exact forces: the root of the summed squared errors
// over the summed squared forces, and the largest error of one node over the root mean square force
// (a node's own force may nearly cancel out, so its error is not measured against that).
void BM_Repulsion(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool tree = state.range(1) != 0;
    const RepulsionField start = fieldOf(spreadNodes(n));
    for (auto _ : state) {
        RepulsionField field = start;
        if (tree)
            repelByQuadtree(field, ForceLayout::repulsion, ForceLayout::openingAngle);
        else
            repelAllPairs(field, ForceLayout::repulsion);
        benchmark::DoNotOptimize(field.fx.data());
    }
    if (tree) {
        RepulsionField exact = start;
        RepulsionField approximate = start;
        repelAllPairs(exact, ForceLayout::repulsion);
        repelByQuadtree(approximate, ForceLayout::repulsion, ForceLayout::openingAngle);
        double error = 0, total = 0, worst = 0;
        for (size_t i = 0; i < exact.size(); ++i) {
            const double ex = approximate.fx[i] - exact.fx[i], ey = approximate.fy[i] - exact.fy[i];
            const double e2 = ex * ex + ey * ey;
            const double f2 = exact.fx[i] * exact.fx[i] + exact.fy[i] * exact.fy[i];
            error += e2;
            total += f2;
            worst = std::max(worst, e2);
        }
        state.counters["rms_relative_error"] = std::sqrt(error / total);
        state.counters["worst_node_error_over_rms_force"] = std::sqrt(worst / (total / double(exact.size())));
    }
    state.counters["threads"] = QThread::idealThreadCount();
}

void loadSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({5000, 100000}))
        b->Arg(size);
}

void layoutSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({1000, 1500, 2500, 5000, 20000, 100000}, 50)) {
        b->Args({size, 0});
        if (size <= 5000)
            b->Args({size, 1});
    }
}

void repulsionSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({5000, 20000, 100000}, 50))
        for (long tree : {0, 1})
            b->Args({size, tree});
}

BENCHMARK(BM_LoadWithSuggestions)->Apply(loadSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayoutStep)->Apply(layoutSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Repulsion)->Apply(repulsionSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
