// A sync pass through the record folder on generated libraries whose records are all in the folder
// already: the pass of a machine where nothing changed (what the automatic passes cost while the user
// does nothing), the first pass after a start (a service that knows only what the library kept), and
// the pass after one link changed, the whole pass of a start that kept no point, and the first pass of
// a machine joining with an empty library. The floors these are held to, a stat of every record file,
// opening and reading every record file and a replacing import of the same links, are measured here too;
// and the remote side made from records none of which is under its own name.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "SyncPass.h"
#include "foundation/Clock.h"
#include "foundation/FreedMemory.h"
#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "model/MorvaneLibraryExport.h"
#include "store/LibraryImporter.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordStoreSyncService.h"
#include "sync/SyncRemoteState.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <stdexcept>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvane;

namespace {

// A generated library synced once into a folder of its own, so that every measured pass finds its
// records there already.
struct SyncedLibrary {
    QTemporaryDir folder;
    LinkStore& store;
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<RecordStoreSyncService> service = newService();
    QUuid changedLink;

    explicit SyncedLibrary(long size)
        : store(bench::generatedLinkStore(size))
    {
        pass();
        changedLink = store.allLinks().result().constFirst().id;
        // The records were written a while before an idle pass comes: the folder store does not trust
        // a file stamp younger than a moment (it could change again within the same clock tick). The
        // pass after that reads them all once, as the first pass after a start does.
        QThread::sleep(3);
        pass();
    }

    // What a start makes: a service and a record store that know nothing of earlier passes.
    std::shared_ptr<RecordStoreSyncService> newService() const
    {
        return std::make_shared<RecordStoreSyncService>(std::make_shared<FolderRecordStore>(folder.path()),
                                                        defaults, SystemClock::shared());
    }

    void pass() { bench::syncPass(*service, store); }

    QList<QByteArray> recordFiles() const
    {
        const QDir records(folder.path());
        QList<QByteArray> paths;
        for (const QString& name : records.entryList(QDir::Files))
            paths.append(QFile::encodeName(records.filePath(name)));
        return paths;
    }
};

SyncedLibrary& syncedLibrary(long size)
{
    static std::map<long, std::unique_ptr<SyncedLibrary>> libraries;
    std::unique_ptr<SyncedLibrary>& entry = libraries[size];
    if (!entry)
        entry = std::make_unique<SyncedLibrary>(size);
    return *entry;
}

void BM_SyncPassNothingChanged(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    for (auto _ : state)
        library.pass();
}

void BM_StatEveryRecordFile(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    const QList<QByteArray> paths = library.recordFiles();
    for (auto _ : state) {
        for (const QByteArray& path : std::as_const(paths)) {
            struct stat info {};
            benchmark::DoNotOptimize(::stat(path.constData(), &info));
        }
    }
    state.counters["files"] = double(paths.size());
}

void BM_OpenAndReadEveryRecordFile(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    const QList<QByteArray> paths = library.recordFiles();
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (auto _ : state) {
        for (const QByteArray& path : std::as_const(paths)) {
            const int handle = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            while (::read(handle, buffer.data(), size_t(buffer.size())) > 0) {
            }
            ::close(handle);
        }
    }
    state.counters["files"] = double(paths.size());
}

// The heap in use, in bytes.
double heapInUse()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
    return double(::mallinfo2().uordblks);
#else
    return 0;
#endif
}

// Resident bytes of the process after a trim: what the service keeps in mappings of its own is not in
// the heap.
double residentBytes()
{
    heapInUse();
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) : 0;
}

// The service of a new start, whose first pass finds nothing changed since the last one. What the
// service holds after it (its record store's included) is counted as kept_bytes in the heap and as
// kept_resident in all.
void BM_FirstPassAfterStart(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        library.service = library.newService();
        state.ResumeTiming();
        library.pass();
    }
    const double held = heapInUse();
    const double resident = residentBytes();
    library.service = library.newService();
    state.counters["kept_bytes"] = held - heapInUse();
    state.counters["kept_resident"] = resident - residentBytes();
}

// The first pass after a start when the library kept no point to start from (an upgrade's first start,
// or a library another program changed): it reads every record file and the whole library.
void BM_WholePassAfterStart(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        LinkStoreDatabase(library.store)
            .run([](SQLiteStore& sqlite) { sqlite.syncPoint().forget(); })
            .waitForFinished();
        library.service = library.newService();
        state.ResumeTiming();
        library.pass();
    }
}

// A machine joining: its library is empty and the folder holds every record, so its first pass reads
// every record file and takes every link and relation in. Its floor is a replacing import of the same
// links and relations from a backup (BM_ReplacingImportOfTheSameLinks).
void BM_JoiningMachineFirstPass(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    QTemporaryDir folder;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto joining = std::make_unique<LinkStore>(
            LinkStore::libraryAt(folder.filePath(QStringLiteral("joining-%1.sqlite").arg(++run))),
            std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
        RecordStoreSyncService service(std::make_shared<FolderRecordStore>(library.folder.path()),
                                       UserDefaults::inMemory(), SystemClock::shared());
        state.ResumeTiming();
        bench::syncPass(service, *joining);
        state.PauseTiming();
        if (joining->allLinks().result().size() != state.range(0))
            throw std::runtime_error("the joining pass left links out");
        joining.reset();
        state.ResumeTiming();
    }
}

void BM_ReplacingImportOfTheSameLinks(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    QTemporaryDir folder;
    const QString backup = folder.filePath(QStringLiteral("backup.json"));
    {
        // The generator makes a few links whose address an import refuses for their type: they and their
        // relations are left out of the backup (the counters say how many links it holds).
        QList<LinkItem> links = library.store.allLinks().result();
        QSet<QUuid> refused;
        for (const LinkItem& link : std::as_const(links)) {
            if (!LinkParser::schemeBelongsToType(link.url, link.type))
                refused.insert(link.id);
        }
        links.removeIf([&refused](const LinkItem& link) { return refused.contains(link.id); });
        QList<LinkRelation> relations =
            LinkStoreDatabase(library.store)
                .run([](SQLiteStore& sqlite) { return sqlite.reads().allRelations(); })
                .result();
        relations.removeIf([&refused](const LinkRelation& relation) {
            return refused.contains(relation.fromLinkID) || refused.contains(relation.toLinkID);
        });
        state.counters["links"] = double(links.size());
        state.counters["relations"] = double(relations.size());
        QFile file(backup);
        file.open(QIODevice::WriteOnly);
        file.write(MorvaneLibraryExport::makeJSONCoders().encoder.encode(
            MorvaneLibraryExport(links, relations, QDateTime::currentDateTimeUtc())));
    }
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store =
            std::make_unique<SQLiteStore>(folder.filePath(QStringLiteral("import-%1.sqlite").arg(++run)));
        LibraryImporter importer(store->reads(), store->merge(), store->transactions());
        state.ResumeTiming();
        benchmark::DoNotOptimize(importer.importLibrary(backup, true));
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}

void BM_SyncPassOneLinkChanged(benchmark::State& state)
{
    SyncedLibrary& library = syncedLibrary(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QStringList tags{QStringLiteral("round-%1").arg(++round)};
        LinkStoreDatabase(library.store)
            .run([tags, id = library.changedLink](SQLiteStore& sqlite) { sqlite.writes().setTags(tags, id); })
            .waitForFinished();
        state.ResumeTiming();
        library.pass();
    }
}

// The remote side made from a folder another program wrote, where no record is under its own name (the
// ids in lower case): each such record is looked up, never compared with every record listed before.
void BM_RemoteSideOfRecordsUnderOtherNames(benchmark::State& state)
{
    QList<std::pair<QString, KeptRecord>> listed;
    for (long i = 0; i < state.range(0); ++i) {
        const QUuid id = QUuid::createUuid();
        listed.append(
            {uuidString(id).toLower(), KeptRecord{KeptRecord::Type::link, LinkSummary{id, i, {}, 0}}});
    }
    for (auto _ : state) {
        SyncRemoteState remote;
        for (const auto& [name, kept] : std::as_const(listed))
            remote.add(name, kept);
        benchmark::DoNotOptimize(remote.listed(listed.first().first));
    }
}

void sizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : bench::sizes({10'000, 50'000}))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_StatEveryRecordFile)->Apply(sizes);
BENCHMARK(BM_SyncPassNothingChanged)->Apply(sizes);
BENCHMARK(BM_OpenAndReadEveryRecordFile)->Apply(sizes);
BENCHMARK(BM_FirstPassAfterStart)->Apply(sizes);
BENCHMARK(BM_WholePassAfterStart)->Apply(sizes);
BENCHMARK(BM_SyncPassOneLinkChanged)->Apply(sizes);
BENCHMARK(BM_JoiningMachineFirstPass)->Apply(sizes);
BENCHMARK(BM_ReplacingImportOfTheSameLinks)->Apply(sizes);
BENCHMARK(BM_RemoteSideOfRecordsUnderOtherNames)->Apply(sizes);

int main(int argc, char** argv)
{
    mapLargeBlocks(); // the passes run as in the application
    return bench::runWithApplication(argc, argv);
}
