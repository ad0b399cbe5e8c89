// Painting the quick panel after a key, offscreen, on a generated library: the result list after the
// selection moves (no search), after a search brought other rows (the search itself not timed), and
// the whole panel after the selection moves; beside a plain label of the panel's size painted after
// its text changed, in the same run.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "LibraryGenerator.h"
#include "capture/ActiveContextService.h"
#include "foundation/UserDefaults.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "quickpanel/widgets/QuickPanelResultList.h"
#include "quickpanel/widgets/QuickPanelView.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/LinkStoreDetail.h"
#include "store/RelationService.h"

#include <QApplication>
#include <QImage>
#include <QLabel>

#include <QCoroTask>

#include <benchmark/benchmark.h>

#include <memory>

using namespace morvane;
using morvane::bench::generatedLinkStore;
using morvane::bench::LibraryGenerator;

namespace {

// A shown panel over a generated library, with a full page of rows.
struct PaintedPanel {
    explicit PaintedPanel(long size)
        : store(generatedLinkStore(size))
        , search(nullptr, nullptr)
        , relations(store)
        , contexts({})
        , tips(UserDefaults::inMemory())
        , model(QuickPanelServices{
              &store, &search, &relations, {}, nullptr, nullptr, &contexts, &tips, nullptr, {}})
        , view(model, nullptr)
    {
        view.show();
        showQuery(LibraryGenerator::commonTerm());
    }

    void showQuery(const QString& query)
    {
        model.search().setQuery(query);
        QCoro::waitFor(model.search().reloadTask());
        // The related links of the selected row come after the rows.
        LinkStoreDatabase(store).run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::processEvents();
    }

    // The window's backing store is an RGB32 image of the window's size.
    static void paint(QWidget& widget, QImage& into) { widget.render(&into); }

    LinkStore& store;
    SearchService search;
    RelationService relations;
    ActiveContextService contexts;
    QuickPanelTipStore tips;
    QuickPanelViewModel model;
    QuickPanelView view;
};

QImage canvasFor(const QWidget& widget)
{
    return QImage(widget.size(), QImage::Format_RGB32);
}

// The selection moves one row down and back up, and the list is painted after each step.
void BM_PaintListAfterDown(benchmark::State& state)
{
    PaintedPanel panel(state.range(0));
    QWidget& list = *panel.view.resultList();
    QImage canvas = canvasFor(list);
    int step = 1;
    for (auto _ : state) {
        panel.model.state().moveSelection(step);
        step = -step;
        PaintedPanel::paint(list, canvas);
    }
    state.counters["rows"] = double(panel.model.state().results().size());
}

// The whole panel, as a window that is uncovered paints it.
void BM_PaintPanelAfterDown(benchmark::State& state)
{
    PaintedPanel panel(state.range(0));
    QImage canvas = canvasFor(panel.view);
    int step = 1;
    for (auto _ : state) {
        panel.model.state().moveSelection(step);
        step = -step;
        PaintedPanel::paint(panel.view, canvas);
    }
}

// Rows the list has not shown before: two searches in turn, only the painting timed.
void BM_PaintListAfterSearch(benchmark::State& state)
{
    PaintedPanel panel(state.range(0));
    QWidget& list = *panel.view.resultList();
    QImage canvas = canvasFor(list);
    const QStringList queries{LibraryGenerator::commonTerm(), QStringLiteral("e")};
    int turn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        panel.showQuery(queries.at(turn++ % 2));
        state.ResumeTiming();
        PaintedPanel::paint(list, canvas);
    }
}

// The floor: a label of the panel's size whose text changes, painted the same way.
void BM_PaintLabel(benchmark::State& state)
{
    QLabel label;
    label.resize(720, 480);
    label.show();
    QImage canvas = canvasFor(label);
    int key = 0;
    for (auto _ : state) {
        label.setText(QStringLiteral("Key %1").arg(++key));
        PaintedPanel::paint(label, canvas);
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({100000}))
        b->Arg(size);
}

BENCHMARK(BM_PaintListAfterDown)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintPanelAfterDown)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintListAfterSearch)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintLabel)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication<QApplication>(argc, argv);
}
