// A typed search through the quick panel's model (the library search, the rows built from it and the
// selected row's related links) against the library search alone, on the same generated library in
// the same run, for a term found in a third of the links (the 200-row cap) and a rare one; and what
// the panel reads at each show for texts of one or two characters, beside the floor of reading the
// bytes of the copy it takes them from.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "LibraryGenerator.h"
#include "capture/ActiveContextService.h"
#include "foundation/MappedArray.h"
#include "foundation/UserDefaults.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/LinkStoreDetail.h"
#include "store/RelationService.h"

#include <QCoreApplication>
#include <QFile>

#include <QCoroTask>

#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvane;
using morvane::bench::generatedLinkStore;
using morvane::bench::LibraryGenerator;

namespace {

// A common term, a rare one, then texts of one and two characters that match few rows or none (the
// second key of a rare pair), a few thousand rows, or most rows.
QString term(int64_t which)
{
    static const QStringList texts = {
        LibraryGenerator::commonTerm(), LibraryGenerator::rareTerm(), "zq", "xj", "qx", "q", "z", "e"};
    return texts.at(which);
}

void BM_LibrarySearch(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    const QString query = term(state.range(1));
    qsizetype found = 0;
    for (auto _ : state)
        found = store.searchLinks(query).result().size();
    state.counters["rows"] = double(found);
    state.SetLabel(query.toStdString());
}

// Everything the model does for one keystroke, to the linked items of the first row.
void BM_PanelSearch(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    SearchService search(nullptr, nullptr);
    RelationService relations(store);
    ActiveContextService contexts({});
    QuickPanelTipStore tips(UserDefaults::inMemory());
    QuickPanelViewModel model(
        QuickPanelServices{&store, &search, &relations, {}, nullptr, nullptr, &contexts, &tips, nullptr, {}});
    const QString query = term(state.range(1));
    model.search().setQuery(query);
    for (auto _ : state) {
        QCoro::waitFor(model.search().reloadTask());
        // The related links of the selected row are read after the rows: wait for them too.
        LinkStoreDatabase(store).run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = double(model.state().results().size());
    state.SetLabel(query.toStdString());
}

// What each show of the panel reads on the store thread for the searches of one or two characters
// (the steps one after the other): from the copy the last hide left beside the library (1), or from
// the library itself when there is none (0). Giving them back at the hide, the copy written then, is
// left out.
void BM_ShortTextsRead(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    const bool fromCopy = state.range(1) == 1;
    const auto readAll = [](SQLiteStore& sqlite) {
        while (!sqlite.reads().prepareShortSearchStep()) {
        }
    };
    LinkStoreDatabase(store).run(readAll).waitForFinished();
    for (auto _ : state) {
        state.PauseTiming();
        LinkStoreDatabase(store)
            .run([fromCopy](SQLiteStore& sqlite) {
                sqlite.reads().releaseSearchMemory();
                if (!fromCopy)
                    QFile::remove(sqlite.databasePath() + QStringLiteral(".texts"));
            })
            .waitForFinished();
        state.ResumeTiming();
        LinkStoreDatabase(store).run(readAll).waitForFinished();
    }
}

// The floor of a read from the copy: the copy's bytes read into memory mapped for them, as the read
// takes them, and nothing else (no check, no head, no look at the library).
void BM_FloorShortTextsCopyBytes(benchmark::State& state)
{
    LinkStore& store = generatedLinkStore(state.range(0));
    QString path;
    LinkStoreDatabase(store)
        .run([&path](SQLiteStore& sqlite) {
            while (!sqlite.reads().prepareShortSearchStep()) {
            }
            sqlite.reads().releaseSearchMemory();
            path = sqlite.databasePath() + QStringLiteral(".texts");
        })
        .waitForFinished();
    const QByteArray file = QFile::encodeName(path);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const int descriptor = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (descriptor < 0 || ::fstat(descriptor, &status) != 0)
            throw std::runtime_error("no copy of the texts");
        bytes = std::size_t(status.st_size);
        MappedArray<char> into;
        for (char* at = into.extend(bytes); at != into.end();) {
            const ssize_t got = ::read(descriptor, at, std::size_t(into.end() - at));
            if (got <= 0)
                throw std::runtime_error("the copy of the texts ended early");
            at += got;
        }
        ::close(descriptor);
        benchmark::DoNotOptimize(into.data());
    }
    state.counters["MB"] = double(bytes) / 1e6;
}

void searchCases(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({100000, 300000}))
        for (int which = 0; which < 8; ++which)
            b->Args({size, which});
}

BENCHMARK(BM_FloorShortTextsCopyBytes)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long size : bench::sizes({100000, 300000}))
            b->Arg(size);
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ShortTextsRead)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long size : bench::sizes({100000, 300000}))
            for (int fromCopy : {0, 1})
                b->Args({size, fromCopy});
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LibrarySearch)->Apply(searchCases)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanelSearch)->Apply(searchCases)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
