// The link store as its callers see it: a call from the main thread, run on the store thread and
// awaited, on generated libraries where one link in ten is a file link with its fingerprint; and a
// search asked for while a capture is hashing a large file (the search must not wait for the hash).

#include "BenchSupport.h"
#include "LibraryGenerator.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "platform/Sha256Hasher.h"
#include "store/ContextLookups.h"
#include "store/LinkStoreDetail.h"
#include "store/LinkWriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>

using namespace morvane;
using morvane::bench::LibraryGenerator;

namespace {

struct StoreLibrary {
    QTemporaryDir folder;
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    CapturedContext savedFile; // what the Finder capture gives for a saved file
    std::unique_ptr<LinkStore> store;
};

void addFileLinks(SQLiteStore& sqlite, long count)
{
    sqlite.transactions().inTransaction([&] {
        for (long i = 0; i < count; ++i) {
            LinkItem item;
            item.id = QUuid::createUuid();
            item.title = QStringLiteral("document %1.txt").arg(i);
            item.lastKnownPath = QStringLiteral("/home/someone/Documents/document %1.txt").arg(i);
            item.url = LocatorUrl::fileUrlText(*item.lastKnownPath, false);
            item.type = LinkType::file;
            item.sourceApp = QStringLiteral("Finder");
            item.bookmarkData = QByteArray(160, char(i % 251));
            item.fileResourceIdentifier = QStringLiteral("%1-1700000000.000000000").arg(100000 + i);
            item.volumeIdentifier =
                QStringLiteral("0f3c9a4e-5b8d-4a51-9a4e-%1").arg(i % 7, 12, 10, QChar(u'0'));
            item.contentHash = QStringLiteral("%1").arg(i, 64, 16, QChar(u'0'));
            item.fileSize = 1000 + i;
            item.createdAt = item.updatedAt = sqlite.clock().now();
            sqlite.writes().insertLink(item);
        }
    });
}

// One library per size, generated on first use: the generator's links, a tenth as many file links,
// and one real file saved the way the quick panel saves it.
StoreLibrary& library(long size)
{
    static std::map<long, std::unique_ptr<StoreLibrary>> libraries;
    std::unique_ptr<StoreLibrary>& entry = libraries[size];
    if (!entry) {
        entry = std::make_unique<StoreLibrary>();
        const QString databasePath = entry->folder.filePath(QStringLiteral("Morvane.sqlite"));
        const QString filePath = entry->folder.filePath(QStringLiteral("Quarterly report.pdf"));
        QFile file(filePath);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(256 * 1024, 'r'));
        file.close();
        entry->savedFile.title = QStringLiteral("Quarterly report.pdf");
        entry->savedFile.locator = LocatorUrl::fileUrlText(filePath);
        entry->savedFile.type = LinkType::file;
        entry->savedFile.sourceApp = QStringLiteral("Finder");
        entry->savedFile.fileIdentity = entry->identity->makeIdentity(entry->savedFile.locator, false);
        {
            SQLiteStore sqlite(databasePath);
            LibraryGenerator generator;
            generator.populate(sqlite, size);
            addFileLinks(sqlite, size / 10);
            LinkParser parser;
            LinkWriter(sqlite.reads(), sqlite.writes(), sqlite.transactions(), sqlite.clock(), parser,
                       *entry->identity)
                .addCapturedContext(entry->savedFile, {}, {});
        } // closed as the application closes it: no ANALYZE beyond what SQLite's upkeep does then
        entry->store = std::make_unique<LinkStore>(LinkStore::libraryAt(databasePath), entry->identity);
    }
    return *entry;
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({10000, 100000}))
        b->Arg(size);
}

void BM_FindLinkForSavedFile(benchmark::State& state)
{
    StoreLibrary& generated = library(state.range(0));
    for (auto _ : state) {
        const auto found = ContextLookups(*generated.store).findLink(generated.savedFile).result();
        if (!found)
            state.SkipWithError("the saved file was not found");
        benchmark::DoNotOptimize(found);
    }
}

void BM_AllLinks(benchmark::State& state)
{
    StoreLibrary& generated = library(state.range(0));
    qsizetype count = 0;
    for (auto _ : state) {
        count = generated.store->allLinks().result().size();
        benchmark::DoNotOptimize(count);
    }
    state.counters["links"] = double(count);
}

// Says when a hash has begun.
struct SignallingHasher : Sha256Hasher {
    std::optional<FileDigest> hashFile(const QString& path) const override
    {
        started = true;
        return OpenSslSha256Hasher().hashFile(path);
    }
    mutable std::atomic<bool> started = false;
};

// A search submitted while a capture of a large file is being hashed: its time from submission to
// answer. The file is sparse (1 GiB by hand, 1 MiB under the smoke run) and nothing caches its hash,
// so every capture reads all of it. "overlapped" is the share of searches answered before the
// capture finished: below 1 the hash ended first and the figure says less; "worst_ms" is the slowest;
// "alone_ms" is the same search with nothing else going on, for comparison.
void BM_SearchWhileCaptureHashes(benchmark::State& state)
{
    QTemporaryDir folder;
    const qint64 fileSize = bench::smokeRun() ? (1LL << 20) : (1LL << 30);
    const QString filePath = folder.filePath(QStringLiteral("Recording.mov"));
    {
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(fileSize))
            qFatal("cannot make %s", qPrintable(filePath));
    }
    const QString databasePath = folder.filePath(QStringLiteral("Morvane.sqlite"));
    {
        SQLiteStore sqlite(databasePath);
        LibraryGenerator().populate(sqlite, state.range(0));
    }
    auto hasher = std::make_shared<SignallingHasher>();
    FileIdentityPlatform platform = FileIdentityPlatform::system();
    platform.hasher = hasher;
    const auto identity = std::make_shared<FileIdentityService>(nullptr, platform);
    LinkStore store(LinkStore::libraryAt(databasePath), identity);
    CapturedContext capture{QStringLiteral("Recording.mov"), LocatorUrl::fileUrlText(filePath),
                            LinkType::file, QStringLiteral("Finder"),
                            identity->makeIdentity(LocatorUrl::fileUrlText(filePath), false)};

    const auto search = [&store] {
        QElapsedTimer timer;
        timer.start();
        const auto found = store.searchLinks(QStringLiteral("report")).result();
        benchmark::DoNotOptimize(found);
        return double(timer.nsecsElapsed()) / 1e9;
    };
    qint64 overlapped = 0;
    double worst = 0;
    double alone = 0;
    for (auto _ : state) {
        alone += search();
        hasher->started = false;
        QFuture<LinkItem> saved = store.addCapturedContext(capture, {}, {});
        while (!hasher->started && !saved.isFinished())
            QThread::yieldCurrentThread();
        const double seconds = search();
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
        overlapped += saved.isFinished() ? 0 : 1;
        const QUuid id = saved.result().id;
        store.deleteLink(id).waitForFinished();
    }
    state.counters["overlapped"] = double(overlapped) / double(state.iterations());
    state.counters["worst_ms"] = worst * 1000;
    state.counters["alone_ms"] = alone * 1000 / double(state.iterations());
}

BENCHMARK(BM_FindLinkForSavedFile)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllLinks)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchWhileCaptureHashes)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long size : bench::sizes({10000}))
            b->Arg(size);
    })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(bench::smokeRun() ? 1 : 10);

} // namespace

BENCHMARK_MAIN();
