// Fingerprinting and known-root scan costs: streamed SHA-256 of a large file against the openssl
// command on the same file, a warm second fingerprint through the shared cache, and a repair scan
// of a generated tree.

#include "BenchSupport.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "foundation/LocatorUrl.h"
#include "platform/FileSystemProbe.h"
#include "platform/Sha256Hasher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace morvane;

namespace {

QTemporaryDir& workFolder()
{
    static QTemporaryDir dir;
    return dir;
}

// A file of pseudo-random bytes (incompressible, so no file system shortcut helps), made once per size.
QString generatedFile(qint64 size)
{
    static std::map<qint64, QString> made;
    if (const auto it = made.find(size); it != made.end())
        return it->second;
    const QString path = workFolder().filePath(QStringLiteral("data-%1.bin").arg(size));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ULL;
    for (qint64 written = 0; written < size;) {
        auto* words = reinterpret_cast<quint64*>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / 8; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        const qint64 count = std::min<qint64>(chunk.size(), size - written);
        file.write(chunk.constData(), count);
        written += count;
    }
    file.close();
    made.emplace(size, path);
    return path;
}

double secondsToHashWithOpenssl(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), path});
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (process.exitCode() != 0)
        qFatal("openssl dgst failed");
    return seconds;
}

// Ours and the openssl command, alternately on the same (page-cached) file in the same run.
void BM_Sha256AgainstOpenssl(benchmark::State& state)
{
    const qint64 size = state.range(0);
    const QString path = generatedFile(size);
    OpenSslSha256Hasher hasher;
    hasher.hashFile(path); // bring the file into the page cache
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(hasher.hashFile(path));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        ours += seconds;
        theirs += secondsToHashWithOpenssl(path);
        state.SetIterationTime(seconds);
    }
    const double gib = double(size) * double(state.iterations()) / double(1 << 30);
    state.SetBytesProcessed(size * state.iterations());
    state.counters["ours_GiB_per_s"] = gib / ours;
    state.counters["openssl_GiB_per_s"] = gib / theirs;
    state.counters["ratio"] = theirs / ours; // throughput ours / openssl's
}
BENCHMARK(BM_Sha256AgainstOpenssl)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long size : bench::sizes({1L << 30}, 1L << 20))
            b->Arg(size);
    })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(bench::smokeRun() ? 1 : 5);

// The second fingerprint of an unchanged file: one probe and a cache hit.
void BM_WarmHashThroughCache(benchmark::State& state)
{
    const QString path = generatedFile(state.range(0));
    const FileIdentityService service(std::make_shared<FileHashCache>());
    const FileLocator locator = FileLocator::read(LocatorUrl::fileUrlText(path));
    const FileIdentity empty;
    if (!service.refreshSizeAndHash(empty, locator).contentHash) // the cold one
        state.SkipWithError("no fingerprint");
    for (auto _ : state)
        benchmark::DoNotOptimize(service.refreshSizeAndHash(empty, locator));
}
BENCHMARK(BM_WarmHashThroughCache)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long size : bench::sizes({1L << 30}, 1L << 20))
            b->Arg(size);
    })
    ->Unit(benchmark::kMicrosecond);

// A tree of count small files in folders of 100, three levels deep, plus the file looked for.
QString generatedTree(long count)
{
    static std::map<long, QString> made;
    if (const auto it = made.find(count); it != made.end())
        return it->second;
    const QString root = workFolder().filePath(QStringLiteral("tree-%1").arg(count));
    for (long i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/d%2/e%3").arg(root).arg(i / 1000).arg((i / 100) % 10);
        if (i % 100 == 0)
            QDir().mkpath(folder);
        QFile file(QStringLiteral("%1/file-%2.txt").arg(folder).arg(i));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(QByteArray::number(qint64(i)).repeated(1 + int(i % 7)));
    }
    QFile target(root + QStringLiteral("/d0/e0/Quarterly report.pdf"));
    if (!target.open(QIODevice::WriteOnly))
        qFatal("cannot write the target");
    target.write(QByteArray(12345, 'q'));
    made.emplace(count, root);
    return root;
}

// The worst case of a repair scan: the link carries size and fingerprint, so every item is looked at.
void BM_KnownRootScan(benchmark::State& state)
{
    const QString root = generatedTree(state.range(0));
    const auto identity = std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    const FileReconciliationService service(identity);
    LinkItem item;
    item.id = QUuid::createUuid();
    item.type = LinkType::file;
    item.url = QStringLiteral("file:///moved/away/Quarterly%20report.pdf");
    item.lastKnownPath = QStringLiteral("/moved/away/Quarterly report.pdf");
    item.fileSize = 12345;
    item.contentHash = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray(12345, 'q'), QCryptographicHash::Sha256).toHex());
    for (auto _ : state) {
        const auto result = service.reconcile(item, {root});
        if (result.status != FileResolutionStatus::resolved)
            state.SkipWithError("the moved file was not found");
    }
    state.SetItemsProcessed(state.range(0) * state.iterations());
}
BENCHMARK(BM_KnownRootScan)
    ->Apply([](benchmark::internal::Benchmark* b) {
        for (long count : bench::sizes({50000}, 200))
            b->Arg(count);
    })
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
