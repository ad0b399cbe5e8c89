// The graph model on generated libraries: a whole reload (store read, suggestions, rebuild, the
// first frame of the loaded graph) awaited on the main thread while a 1 ms timer measures how long
// the main thread was kept from its events, one force-layout step, and the repulsion computed over
// every pair and by the quadtree side by side.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "capture/ActiveContextService.h"
#include "graph/ForceLayout.h"
#include "graph/GraphViewModel.h"
#include "graph/Repulsion.h"
#include "graph/widgets/GraphCanvas.h"
#include "store/ItemOpener.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <random>

using namespace morvane;
using morvane::bench::generatedLinkStore;

namespace {

// Timers that never fire: the benchmark steps the layout itself, and a load is measured without
// layout steps in between.
class IdleClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::chrono::milliseconds monotonic() const override { return {}; }
    std::unique_ptr<ClockTimer> makeTimer(std::function<void()>) override
    {
        class Still final : public ClockTimer {
        public:
            void start(std::chrono::milliseconds, bool) override { m_active = true; }
            void stop() override { m_active = false; }
            bool isActive() const override { return m_active; }

        private:
            bool m_active = false;
        };
        return std::make_unique<Still>();
    }
};

// Nothing is opened while the graph is measured.
class NoOpener final : public ItemOpener {
public:
    QCoro::Task<std::optional<FileIdentity>> open(LinkItem, std::optional<FileIdentity>) override
    {
        co_return std::nullopt;
    }
};

// The processor time the calling thread has used, in nanoseconds: unlike the wall clock, it does not
// count the time other processes held the processor.
qint64 threadTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The window's canvas, counting its frames and the time each took, on the wall clock and on the
// main thread's processor time.
class TimedCanvas final : public GraphCanvas {
public:
    using GraphCanvas::GraphCanvas;
    int frames = 0;
    qint64 longestFrame = 0;
    qint64 paintingSinceTick = 0;
    qint64 paintingTimeSinceTick = 0;
    std::function<void()> painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QElapsedTimer timer;
        timer.start();
        const qint64 started = threadTime();
        GraphCanvas::paintEvent(event);
        longestFrame = std::max(longestFrame, timer.nsecsElapsed());
        paintingSinceTick += timer.nsecsElapsed();
        paintingTimeSinceTick += threadTime() - started;
        ++frames;
        if (painted)
            painted();
    }
};

// The library drawn in a window-sized canvas, as the graph window shows it.
struct ShownGraph {
    explicit ShownGraph(LinkStore& store)
        : model(store, std::make_shared<GraphWorkPool>(),
                std::make_shared<ItemOpening>(store, std::make_shared<NoOpener>()),
                std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{}),
                std::make_shared<IdleClock>())
        , canvas(model, nullptr)
    {
        canvas.resize(920, 640);
        canvas.show(); // loads the library
    }
    bool waitUntilPainted()
    {
        return QTest::qWaitFor([&] { return !model.loader().isLoading() && canvas.frames > 0; }, 60'000);
    }

    GraphViewModel model;
    TimedCanvas canvas;
};

// Reloads the graph shown in a canvas and waits until the loaded graph is painted, while a 1 ms timer
// records the longest time the main thread went without serving it. Before each load the same timer
// runs as long with nothing to do: its longest gap is the machine's own share (other processes).
class MeasuredReload {
public:
    MeasuredReload(GraphViewModel& model, TimedCanvas& canvas)
        : m_model(model)
        , m_canvas(canvas)
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            const qint64 gap = m_sinceTick.nsecsElapsed() - 1'000'000;
            m_sinceTick.restart();
            const qint64 now = threadTime();
            const qint64 busy = now - std::exchange(m_timeAtTick, now) - m_canvas.paintingTimeSinceTick;
            if (m_loading) {
                m_loadStall = std::max(m_loadStall, gap);
                m_besidesFrames = std::max(m_besidesFrames, gap - m_canvas.paintingSinceTick);
                m_busyBesidesFrames = std::max(m_busyBesidesFrames, busy);
            } else {
                m_idleStall = std::max(m_idleStall, gap - m_canvas.paintingSinceTick);
            }
            m_canvas.paintingSinceTick = 0;
            m_canvas.paintingTimeSinceTick = 0;
            if (m_afterTick)
                m_afterTick();
        });
    }

    void operator()()
    {
        idle();
        m_loading = true;
        const QString done = QStringLiteral("load %1").arg(++m_round);
        QEventLoop loop;
        bool applied = false;
        const auto connection =
            QObject::connect(&m_model.content(), &GraphContent::messageChanged, &loop, [&] {
                if (m_model.content().message() == done)
                    applied = true;
            });
        // Ends at the tick after the frame, which measures the frame's gap.
        bool painted = false;
        m_canvas.painted = [&] { painted = painted || applied; };
        m_afterTick = [&] {
            if (painted)
                loop.quit();
        };
        m_sinceTick.start();
        m_timeAtTick = threadTime();
        m_canvas.paintingSinceTick = 0;
        m_canvas.paintingTimeSinceTick = 0;
        m_ticker.start();
        m_model.loader().reload(done);
        loop.exec();
        m_ticker.stop();
        m_loading = false;
        QObject::disconnect(connection);
        m_canvas.painted = nullptr;
        m_afterTick = nullptr;
    }

    double loadStallMs() const { return double(m_loadStall) / 1e6; }
    double idleStallMs() const { return double(m_idleStall) / 1e6; }
    double besidesFramesMs() const { return double(m_besidesFrames) / 1e6; }
    double busyBesidesFramesMs() const { return double(m_busyBesidesFrames) / 1e6; }

private:
    void idle()
    {
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        m_sinceTick.start();
        m_ticker.start();
        loop.exec();
        m_ticker.stop();
    }

    GraphViewModel& m_model;
    TimedCanvas& m_canvas;
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    qint64 m_loadStall = 0;
    qint64 m_idleStall = 0;
    qint64 m_besidesFrames = 0; // the load's longest stall less the painting in it
    // The most processor time the main thread used between two ticks during the load, painting left out.
    qint64 m_busyBesidesFrames = 0;
    qint64 m_timeAtTick = 0;
    bool m_loading = false;
    std::function<void()> m_afterTick;
    int m_round = 0;
};

// The graph is shown in its canvas, which loads it as the window does; the measured loads replace a
// whole graph, as every reload after a change does, and end when the canvas has painted the loaded
// graph. The stall counts everything the main thread does on the way, the first frame included;
// the frame is also given alone, and the longest stall less the painting in it; beside them, the
// longest gap of the same timer before the load with nothing to do (less a frame still painting).
// Other processes on a busy machine lengthen those gaps: the most processor time the main thread
// itself used between two ticks of the load, painting left out, is given too.
// After each load the layout takes one step, as the window's timer would: the longest is given. Then
// the canvas paints and the layout steps again, and once more without a frame between: the mean of
// each, the second the floor of the first (a step that must copy the nodes a frame kept costs more).
void BM_LoadWithSuggestions(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    ShownGraph shown(store);
    if (!shown.waitUntilPainted())
        return state.SkipWithError("the graph was not shown");
    GraphViewModel& model = shown.model;
    TimedCanvas& canvas = shown.canvas;
    MeasuredReload reload(model, canvas);
    canvas.longestFrame = 0;
    qint64 firstStep = 0;
    qint64 afterPaint = 0;
    qint64 afterStep = 0;
    const auto timedStep = [&] {
        QElapsedTimer step;
        step.start();
        model.layout().step();
        return step.nsecsElapsed();
    };
    for (auto _ : state) {
        reload();
        // The layout's first step over the loaded graph, which the window's timer runs next.
        firstStep = std::max(firstStep, timedStep());
        canvas.repaint();
        afterPaint += timedStep();
        afterStep += timedStep();
    }
    state.counters["links"] = double(model.content().library().items.size());
    state.counters["suggestions"] = double(model.content().library().suggestedEdges.size());
    state.counters["longest_main_thread_stall_ms"] = reload.loadStallMs();
    state.counters["idle_stall_ms"] = reload.idleStallMs();
    state.counters["longest_frame_ms"] = double(canvas.longestFrame) / 1e6;
    state.counters["stall_besides_frames_ms"] = reload.besidesFramesMs();
    state.counters["busy_besides_frames_ms"] = reload.busyBesidesFramesMs();
    state.counters["first_layout_step_ms"] = double(firstStep) / 1e6;
    state.counters["step_after_paint_ms"] = double(afterPaint) / 1e6 / double(state.iterations());
    state.counters["step_after_step_ms"] = double(afterStep) / 1e6 / double(state.iterations());
}

// The graph moving in the window: after a load, the layout's timer runs its step and the canvas
// paints, tick after tick. Each tick holds the main thread for the step and the frame: the medians of
// both, the longest tick, and the share of ticks that held it longer than a 60 Hz frame (16 ms),
// counting the step alone and the step with the frame.
void BM_MovingGraph(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    ShownGraph shown(store);
    if (!shown.waitUntilPainted())
        return state.SkipWithError("the graph was not shown");
    GraphViewModel& model = shown.model;
    TimedCanvas& canvas = shown.canvas;
    std::vector<double> steps, frames;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        model.layout().step();
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        canvas.repaint();
        frames.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const auto median = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + qsizetype(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    double longest = 0;
    int stepsOver = 0, ticksOver = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        longest = std::max(longest, steps[i] + frames[i]);
        stepsOver += steps[i] > 16;
        ticksOver += steps[i] + frames[i] > 16;
    }
    state.counters["median_step_ms"] = median(steps);
    state.counters["median_frame_ms"] = median(frames);
    state.counters["longest_tick_ms"] = longest;
    state.counters["steps_over_16ms"] = double(stepsOver) / double(steps.size());
    state.counters["ticks_over_16ms"] = double(ticksOver) / double(steps.size());
}

// Nodes and their places, spread as a settled layout spreads them: about one node per rest length
// squared.
struct SpreadNodes {
    explicit SpreadNodes(int n)
    {
        std::mt19937 random(7);
        const double extent = 200 * std::sqrt(double(n));
        std::uniform_real_distribution<double> coordinate(-extent / 2, extent / 2);
        for (int i = 0; i < n; ++i) {
            nodes.append({QUuid::createUuid(), QStringLiteral("n"), LinkType::web, 0, NodeHealth::orphan});
            places.append({QPointF(coordinate(random), coordinate(random)), {}});
        }
    }
    RepulsionField field() const
    {
        RepulsionField field(size_t(places.size()));
        for (qsizetype i = 0; i < places.size(); ++i) {
            field.x[size_t(i)] = places[i].position.x();
            field.y[size_t(i)] = places[i].position.y();
        }
        return field;
    }

    QList<GraphNode> nodes;
    QList<GraphPlacement> places;
};

// The whole step as the window runs it (argument 1 = 0): all pairs up to its limit, the quadtree
// beyond; and, beside it, the same step measuring every pair whatever the size (1).
void BM_LayoutStep(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool exact = state.range(1) != 0;
    SpreadNodes spread(n);
    const QList<GraphNode>& nodes = spread.nodes;
    std::mt19937 random(11);
    QList<GraphEdge> edges;
    for (int i = 0; i < n / 2; ++i)
        edges.append(
            {QUuid::createUuid(), nodes[random() % n].id, nodes[random() % n].id, GraphEdgeKind::relation()});
    const QSet<QUuid> placed{nodes[0].id};
    GraphWorkPool pool;
    ForceLayout layout(exact ? size_t(n) : ForceLayout::exactRepulsionNodes, &pool);
    for (auto _ : state) {
        layout.step(nodes, spread.places, edges, {std::nullopt, &placed, std::nullopt});
        benchmark::DoNotOptimize(spread.places.data());
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
    const RepulsionField start = SpreadNodes(n).field();
    GraphWorkPool pool;
    for (auto _ : state) {
        RepulsionField field = start;
        if (tree)
            repelByQuadtree(field, ForceLayout::repulsion, ForceLayout::openingAngle, &pool);
        else
            repelAllPairs(field, ForceLayout::repulsion, &pool);
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
BENCHMARK(BM_MovingGraph)->Apply(loadSizes)->Iterations(60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayoutStep)->Apply(layoutSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Repulsion)->Apply(repulsionSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return morvane::bench::runWithApplication<QApplication>(argc, argv);
}
