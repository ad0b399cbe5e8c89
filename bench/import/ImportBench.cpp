// Importing a backup of N links with N/2 relations: merged into an empty library, merged into a library
// that already holds it, and replacing a full library.
#include "BenchMain.h"
#include "BenchSupport.h"
#include "foundation/IsoDate.h"
#include "library/SQLiteStore.h"
#include "model/MorvaneLibraryExport.h"
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

// A backup of a plausible library: half web pages, half files with their evidence, a few tags each,
// and relations between neighbours.
MorvaneLibraryExport syntheticBackup(long linkCount)
{
    const QDateTime base = *parseLibraryDate(QStringLiteral("2024-01-01T00:00:00.000Z"));
    QList<LinkItem> links;
    links.reserve(linkCount);
    for (long i = 0; i < linkCount; ++i) {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.title = QStringLiteral("Item %1").arg(i);
        if (i % 2 == 0) {
            item.type = LinkType::web;
            item.url = QStringLiteral("https://example.com/articles/%1").arg(i);
            item.sourceApp = QStringLiteral("Browser");
        } else {
            item.type = LinkType::file;
            const QString path = QStringLiteral("/home/me/Documents/file-%1.pdf").arg(i);
            item.url = QStringLiteral("file://") + path;
            item.sourceApp = QStringLiteral("Finder");
            item.lastKnownPath = path;
            item.contentHash = QStringLiteral("%1").arg(i, 64, 16, QLatin1Char('0'));
            item.fileSize = 1000 + i;
        }
        item.notes = i % 5 == 0 ? QStringLiteral("Some notes about this item") : QString();
        item.tags = {QStringLiteral("tag%1").arg(i % 50), QStringLiteral("group%1").arg(i % 7)};
        item.createdAt = base.addSecs(i);
        item.updatedAt = base.addSecs(i + 60);
        links.append(item);
    }
    QList<LinkRelation> relations;
    for (long i = 0; i + 1 < linkCount && relations.size() < linkCount / 2; i += 2)
        relations.append(LinkRelation{QUuid::createUuid(), links[i].id, links[i + 1].id, base.addSecs(i)});
    return MorvaneLibraryExport(links, relations, base.addDays(30));
}

QString backupFile(long linkCount)
{
    const QString path = workFolder().filePath(QStringLiteral("backup-%1.json").arg(linkCount));
    if (!QFile::exists(path)) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(MorvaneLibraryExport::makeJSONCoders().encoder.encode(syntheticBackup(linkCount)));
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
