// Importing a backup of N links with N/2 relations: merged into an empty library, merged into a library
// that already holds it, and replacing a full library.
#include "BenchMain.h"
#include "BenchSupport.h"
#include "SyntheticBackup.h"
#include "library/SQLiteStore.h"
#include "store/LibraryImporter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace morvane;

namespace {

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder;
    return folder;
}

QString backupFile(long linkCount)
{
    const QString path = workFolder().filePath(QStringLiteral("backup-%1.json").arg(linkCount));
    if (!QFile::exists(path)) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bench::syntheticBackup(linkCount));
    }
    return path;
}

std::unique_ptr<SQLiteStore> freshStore()
{
    static int counter = 0;
    return std::make_unique<SQLiteStore>(
        workFolder().filePath(QStringLiteral("library-%1.sqlite").arg(++counter)));
}

void importInto(benchmark::State& state, bool prefilled, bool replacing)
{
    const QString path = backupFile(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<SQLiteStore> store = freshStore();
        LibraryImporter importer(store->reads(), store->merge(), store->transactions());
        if (prefilled)
            importer.importLibrary(path, false);
        state.ResumeTiming();
        const auto counts = importer.importLibrary(path, replacing);
        benchmark::DoNotOptimize(counts);
    }
    state.counters["links"] = static_cast<double>(state.range(0));
}

void BM_MergeIntoEmptyLibrary(benchmark::State& state)
{
    importInto(state, false, false);
}

void BM_MergeIntoFullLibrary(benchmark::State& state)
{
    importInto(state, true, false);
}

void BM_ReplaceFullLibrary(benchmark::State& state)
{
    importInto(state, true, true);
}

void linkCounts(benchmark::internal::Benchmark* benchmark)
{
    for (long size : bench::sizes({10000, 30000, 100000}))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}

BENCHMARK(BM_MergeIntoEmptyLibrary)->Apply(linkCounts);
BENCHMARK(BM_MergeIntoFullLibrary)->Apply(linkCounts);
BENCHMARK(BM_ReplaceFullLibrary)->Apply(linkCounts);

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
