// A typed search through the quick panel's model with the desktop's calendars and contacts (Evolution
// Data Server, seeded by run_with_eds.sh) against the same search without them, on the same generated
// library in the same run; and how long after start-up the first event query finds the events.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "LibraryGenerator.h"
#include "capture/ActiveContextService.h"
#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "foundation/UserDefaults.h"
#include "platform/DesktopServices.h"
#include "platform/EdsCalendarStore.h"
#include "platform/EdsContactStore.h"
#include "platform/EvolutionDataServer.h"
#include "platform/ProcessLauncher.h"
#include "platform/ScriptRunner.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/LinkStoreDetail.h"
#include "store/RelationService.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <QCoroTask>

#include <benchmark/benchmark.h>

#include <memory>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::bench::generatedLinkStore;
using morvane::bench::LibraryGenerator;

namespace {

// A term of many links, a rare one, and one that every seeded event and card holds.
QString term(int64_t which)
{
    switch (which) {
    case 0:
        return LibraryGenerator::commonTerm();
    case 1:
        return LibraryGenerator::rareTerm();
    }
    return QStringLiteral("Seeded");
}

struct DesktopStores {
    std::shared_ptr<EvolutionDataServer> service = std::make_shared<EvolutionDataServer>();
    std::shared_ptr<ProcessLauncher> launcher = std::make_shared<LinuxProcessLauncher>();
    std::shared_ptr<DesktopServices> desktop = std::make_shared<XdgDesktopServices>(launcher);
    std::shared_ptr<CalendarEventService> calendar = std::make_shared<CalendarEventService>(
        std::make_shared<EdsCalendarStore>(service, desktop, launcher), desktop,
        std::make_shared<UnavailableScriptRunner>(), UserDefaults::inMemory());
    std::shared_ptr<ContactService> contacts = std::make_shared<ContactService>(
        std::make_shared<EdsContactStore>(service, desktop, launcher), desktop, UserDefaults::inMemory());
};

// Everything the model does for one keystroke, to the linked items of the first row; args: links,
// term, with the desktop's stores (1) or without (0).
void BM_PanelSearch(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    std::unique_ptr<DesktopStores> stores;
    if (state.range(2)) {
        stores = std::make_unique<DesktopStores>();
        if (!stores->service->waitUntilLoaded(EvolutionDataServer::Load::everything, 30s)) {
            state.SkipWithError("the calendars and cards did not load");
            return;
        }
    }
    SearchService search(stores ? stores->calendar : nullptr, stores ? stores->contacts : nullptr);
    RelationService relations(store);
    ActiveContextService contexts({});
    QuickPanelTipStore tips(UserDefaults::inMemory());
    QuickPanelViewModel model(
        QuickPanelServices{&store, &search, &relations, {}, nullptr, nullptr, &contexts, &tips, nullptr, {}});
    model.search().setQuery(term(state.range(1)));
    for (auto _ : state) {
        QCoro::waitFor(model.search().reloadTask());
        LinkStoreDatabase(store).run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = double(model.state().results().size());
    if (stores) {
        state.counters["events"] = double(stores->service->snapshot()->events.size());
        state.counters["cards"] = double(stores->service->snapshot()->cards.size());
    }
}

// From start-up to the first event query that answers with the calendars' events.
void BM_FirstEventQuery(benchmark::State& state)
{
    qsizetype found = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto service = std::make_shared<EvolutionDataServer>();
        EdsCalendarStore calendars(service, nullptr, nullptr);
        service->waitUntilLoaded(EvolutionDataServer::Load::calendars, 30s);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        found = calendars.events(now.addYears(-1), now.addYears(1)).size();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["events"] = double(found);
}

void searchCases(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({10000}))
        for (int which : {0, 1, 2})
            for (int withStores : {0, 1})
                b->Args({size, which, withStores});
}

BENCHMARK(BM_PanelSearch)->Apply(searchCases)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstEventQuery)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
