// The graph model on generated libraries: a whole reload (store read, suggestions, rebuild) awaited
// on the main thread while a 1 ms timer measures how long the main thread was kept from its events,
// and one force-layout step.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "capture/ActiveContextService.h"
#include "graph/ForceLayout.h"
#include "graph/GraphViewModel.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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
        QObject::connect(&m_model, &GraphViewModel::messageChanged, &loop, [&] {
            if (m_model.message() == done)
                loop.quit();
        });
        m_sinceTick.start();
        m_ticker.start();
        m_model.reload(done);
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
        store, std::make_shared<NoOpener>(),
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{}),
        std::make_shared<IdleClock>());
    MeasuredReload reload(model);
    reload();
    for (auto _ : state)
        reload();
    state.counters["links"] = double(model.allItems().size());
    state.counters["suggestions"] = double(model.suggestedEdges().size());
    state.counters["longest_main_thread_stall_ms"] = double(reload.longestStall());
}

void BM_LayoutStep(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-1500, 1500);
    QList<GraphNode> nodes;
    for (int i = 0; i < n; ++i)
        nodes.append({QUuid::createUuid(),
                      QStringLiteral("n"),
                      LinkType::web,
                      QPointF(coordinate(random), coordinate(random)),
                      {},
                      0,
                      NodeHealth::orphan});
    QList<GraphEdge> edges;
    for (int i = 0; i < n / 2; ++i)
        edges.append(
            {QUuid::createUuid(), nodes[random() % n].id, nodes[random() % n].id, GraphEdgeKind::relation()});
    const QSet<QUuid> placed{nodes[0].id};
    for (auto _ : state) {
        ForceLayout::step(nodes, edges, {std::nullopt, &placed, std::nullopt});
        benchmark::DoNotOptimize(nodes.data());
    }
}

void loadSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({5000, 100000}))
        b->Arg(size);
}

void layoutSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({1000, 5000, 20000}, 50))
        b->Arg(size);
}

BENCHMARK(BM_LoadWithSuggestions)->Apply(loadSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayoutStep)->Apply(layoutSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
