// Fails when an operation whose cost follows the library's size grows faster than it: each operation
// runs at a size n and at 4n in this one process, each size timed as the best of three runs, and a time
// at 4n more than 8 times the time at n fails the check (a cost that grows with the square of the
// size grows 16 times). An operation too quick to time at n repeats within a run until its run at n
// takes 0.2 s, and as often at 4n. Every ratio is printed.
//
//   growth_check [name ...]   only the operations whose names contain one of the words
//
// MORVANE_BENCH_SMOKE=1 runs every operation once at tiny sizes and judges nothing.

#include "BenchSupport.h"
#include "GeneratedLinkStore.h"
#include "SyncPass.h"
#include "SyntheticBackup.h"
#include "foundation/Clock.h"
#include "foundation/FreedMemory.h"
#include "foundation/UserDefaults.h"
#include "store/LibraryImporter.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordStoreSyncService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace morvane;

namespace {

constexpr double shortestRun = 0.2;
constexpr double allowedGrowth = 8.0;
constexpr int runsPerSize = 3;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder;
    return folder;
}

QString newPath(const char* kind)
{
    static int counter = 0;
    return workFolder().filePath(QStringLiteral("%1-%2").arg(QLatin1String(kind)).arg(++counter));
}

// A library file of the work folder, removed with what SQLite and the texts keep beside it once its
// store is closed (declared before the store).
class ScratchLibrary {
public:
    explicit ScratchLibrary(const char* kind)
        : m_path(newPath(kind))
    {
    }
    ~ScratchLibrary()
    {
        for (const char* suffix : {"", "-wal", "-shm", ".texts"})
            QFile::remove(m_path + QLatin1String(suffix));
    }
    ScratchLibrary(const ScratchLibrary&) = delete;
    ScratchLibrary& operator=(const ScratchLibrary&) = delete;
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// One operation at one size: prepare() readies what each timed run() starts from, untimed.
class Subject {
public:
    virtual ~Subject() = default;
    virtual void prepare() {}
    virtual void run() = 0;
};

// --- Imports and the erase: a backup of the size, over a library that already holds it -------------

QString backupFile(long size)
{
    static std::map<long, QString> paths;
    QString& path = paths[size];
    if (path.isEmpty()) {
        path = newPath("backup");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bench::syntheticBackup(size)) < 0)
            throw std::runtime_error("could not write the backup");
    }
    return path;
}

LibraryImporter importerOf(SQLiteStore& store)
{
    return LibraryImporter(store.reads(), store.merge(), store.transactions());
}

// The backup merged into, or replacing, a library that holds it already.
class Import : public Subject {
public:
    Import(long size, bool replacing)
        : m_backup(backupFile(size))
        , m_replacing(replacing)
    {
        m_importer.importLibrary(m_backup, false);
    }

    void run() override { m_importer.importLibrary(m_backup, m_replacing); }

private:
    QString m_backup;
    bool m_replacing;
    ScratchLibrary m_file{"library"};
    SQLiteStore m_store{m_file.path()};
    LibraryImporter m_importer = importerOf(m_store);
};

// Each run erases a copy of a library filled once by importing the backup.
class EraseAll : public Subject {
public:
    explicit EraseAll(long size)
    {
        SQLiteStore full(m_filled.path());
        importerOf(full).importLibrary(backupFile(size), false);
    }

    void prepare() override
    {
        m_store.reset();
        m_copy = std::make_unique<ScratchLibrary>("erased");
        if (!QFile::copy(m_filled.path(), m_copy->path()))
            throw std::runtime_error("could not copy the library");
        m_store = std::make_unique<SQLiteStore>(m_copy->path());
    }

    void run() override { m_store->merge().eraseAll(); }

private:
    ScratchLibrary m_filled{"filled"};
    std::unique_ptr<ScratchLibrary> m_copy;
    std::unique_ptr<SQLiteStore> m_store;
};

// --- Sync passes: a generated library synced once into a record folder of its own ------------------

std::unique_ptr<RecordStoreSyncService> newService(const QString& folder,
                                                   std::shared_ptr<UserDefaults> defaults)
{
    return std::make_unique<RecordStoreSyncService>(std::make_shared<FolderRecordStore>(folder),
                                                    std::move(defaults), SystemClock::shared());
}

struct SyncedFolder {
    LinkStore& store;
    QString folder = newPath("records");
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();

    explicit SyncedFolder(long size)
        : store(bench::generatedLinkStore(size))
    {
        QDir().mkpath(folder);
        bench::syncPass(*newService(folder, defaults), store);
        // Files written within the last moments are not trusted to hold what their stamps say: every
        // pass measured finds them settled, as a folder written a while ago is.
        const QDir records(folder);
        const struct timespec anHourAgo = {::time(nullptr) - 3600, 0};
        const struct timespec times[2] = {anHourAgo, anHourAgo};
        for (const QString& name : records.entryList(QDir::Files)) {
            if (::utimensat(AT_FDCWD, QFile::encodeName(records.filePath(name)).constData(), times, 0) != 0)
                throw std::runtime_error("could not date a record file back");
        }
    }
};

SyncedFolder& syncedFolder(long size)
{
    static std::map<long, std::unique_ptr<SyncedFolder>> folders;
    std::unique_ptr<SyncedFolder>& entry = folders[size];
    if (!entry)
        entry = std::make_unique<SyncedFolder>(size);
    return *entry;
}

// The first pass of a start whose library kept no point: every record file and the whole library read.
class WholePass : public Subject {
public:
    explicit WholePass(long size)
        : m_synced(syncedFolder(size))
    {
    }

    void prepare() override
    {
        LinkStoreDatabase(m_synced.store)
            .run([](SQLiteStore& sqlite) { sqlite.syncPoint().forget(); })
            .waitForFinished();
        m_service = newService(m_synced.folder, m_synced.defaults);
    }

    void run() override { bench::syncPass(*m_service, m_synced.store); }

private:
    SyncedFolder& m_synced;
    std::unique_ptr<RecordStoreSyncService> m_service;
};

// The first pass of a machine joining with an empty library: every link and relation taken in.
class JoiningPass : public Subject {
public:
    explicit JoiningPass(long size)
        : m_synced(syncedFolder(size))
    {
    }

    void prepare() override
    {
        m_library.reset();
        m_file = std::make_unique<ScratchLibrary>("joining");
        m_library = std::make_unique<LinkStore>(
            LinkStore::libraryAt(m_file->path()),
            std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
        m_service = newService(m_synced.folder, UserDefaults::inMemory());
    }

    void run() override { bench::syncPass(*m_service, *m_library); }

private:
    SyncedFolder& m_synced;
    std::unique_ptr<ScratchLibrary> m_file;
    std::unique_ptr<LinkStore> m_library;
    std::unique_ptr<RecordStoreSyncService> m_service;
};

// --- Reads of a generated library ---------------------------------------------------------------------

void onStore(LinkStore& store, const std::function<void(SQLiteStore&)>& step)
{
    LinkStoreDatabase(store).run([&step](SQLiteStore& sqlite) { step(sqlite); }).waitForFinished();
}

// The texts of the searches too short for the index: read from the library and given back, which
// writes their copy beside it, or read from the copy a release left.
class ShortTexts : public Subject {
public:
    ShortTexts(long size, bool fromCopy)
        : m_store(bench::generatedLinkStore(size))
        , m_fromCopy(fromCopy)
    {
    }

    void prepare() override
    {
        onStore(m_store, [fromCopy = m_fromCopy](SQLiteStore& sqlite) {
            sqlite.reads().releaseSearchMemory();
            if (!fromCopy)
                QFile::remove(sqlite.databasePath() + QStringLiteral(".texts"));
        });
    }

    void run() override
    {
        onStore(m_store, [fromCopy = m_fromCopy](SQLiteStore& sqlite) {
            while (!sqlite.reads().prepareShortSearchStep()) {
            }
            if (!fromCopy)
                sqlite.reads().releaseSearchMemory();
        });
    }

private:
    LinkStore& m_store;
    bool m_fromCopy;
};

// What the graph loads: every link and every relation, read on the store's thread.
class GraphRows : public Subject {
public:
    explicit GraphRows(long size)
        : m_store(bench::generatedLinkStore(size))
    {
    }

    void run() override
    {
        const LibraryRows rows = m_store.linksAndRelations().result();
        if (rows.links.isEmpty())
            throw std::runtime_error("the graph read no links");
    }

private:
    LinkStore& m_store;
};

// --- The check -----------------------------------------------------------------------------------------

struct Operation {
    const char* name;
    long size; // n, chosen so that one run at n takes about 0.2 s on two cores
    std::function<std::unique_ptr<Subject>(long)> make;
};

template <class T, class... Args> std::function<std::unique_ptr<Subject>(long)> maker(Args... args)
{
    return [=](long size) { return std::make_unique<T>(size, args...); };
}

QList<Operation> operations()
{
    return {
        {"merging import", 10000, maker<Import>(false)},
        {"replacing import", 10000, maker<Import>(true)},
        {"erase all", 10000, maker<EraseAll>()},
        {"whole sync pass", 2000, maker<WholePass>()},
        {"joining pass", 2000, maker<JoiningPass>()},
        {"short texts read and written", 8000, maker<ShortTexts>(false)},
        {"short texts read from their copy", 8000, maker<ShortTexts>(true)},
        {"graph's links and relations", 8000, maker<GraphRows>()},
    };
}

// The best of `runs` runs, each of `repeats` timed runs of the operation.
double bestTime(Subject& subject, int repeats, int runs)
{
    double best = INFINITY;
    for (int run = 0; run < runs; ++run) {
        qint64 nanoseconds = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            subject.prepare();
            QElapsedTimer timer;
            timer.start();
            subject.run();
            nanoseconds += timer.nsecsElapsed();
        }
        best = std::min(best, double(nanoseconds) / 1e9);
    }
    return best;
}

bool selected(const Operation& operation, const QStringList& words)
{
    return words.isEmpty() || std::any_of(words.cbegin(), words.cend(), [&](const QString& word) {
               return QString::fromUtf8(operation.name).contains(word, Qt::CaseInsensitive);
           });
}

// Prints the operation's times and ratio; false when it grew too fast.
bool check(const Operation& operation)
{
    const bool smoke = bench::smokeRun();
    const long n = smoke ? 50 : operation.size;
    QElapsedTimer whole;
    whole.start();
    int repeats = 1;
    double atN = 0;
    {
        const std::unique_ptr<Subject> subject = operation.make(n);
        // A first run, untimed but for how often a run repeats the operation to last long enough.
        const double once = bestTime(*subject, 1, 1);
        const auto enough = [](int repeats, double time) {
            return std::max(1, int(std::ceil(repeats * shortestRun * 1.1 / std::max(time, 1e-6))));
        };
        if (!smoke)
            repeats = enough(1, once);
        atN = bestTime(*subject, repeats, runsPerSize);
        while (!smoke && atN < shortestRun) {
            repeats = std::max(repeats + 1, enough(repeats, atN));
            atN = bestTime(*subject, repeats, runsPerSize);
        }
    }
    const double at4N = bestTime(*operation.make(4 * n), repeats, runsPerSize);
    const double ratio = at4N / atN;
    const bool grewTooFast = !smoke && ratio > allowedGrowth;
    std::printf("%-33s n %5ld x%-3d %7.1f ms  4n %8.1f ms  ratio %5.2f  (%4.1f s)%s\n", operation.name, n,
                repeats, atN * 1e3, at4N * 1e3, ratio, double(whole.elapsed()) / 1e3,
                grewTooFast ? "  GREW FASTER THAN THE LIBRARY" : "");
    std::fflush(stdout);
    return !grewTooFast;
}

} // namespace

int main(int argc, char** argv)
{
    // The allocator as the application sets it.
    morvane::keepLittleFreedMemory();
    // The libraries, backups and record folders (a few hundred MB) go to memory where the system
    // has a folder there with room: the check times the operations, not how long other programs' writes
    // hold the disk.
    const QStorageInfo memory(QStringLiteral("/dev/shm"));
    if (qEnvironmentVariableIsEmpty("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable() &&
        memory.bytesAvailable() > qint64(1) << 30)
        qputenv("TMPDIR", "/dev/shm");
    QCoreApplication application(argc, argv);
    // What the operations log as they go would bury the ratios; warnings still show.
    QLoggingCategory::setFilterRules(QStringLiteral("morvane.*.info=false"));
    QStringList words = QCoreApplication::arguments().mid(1);
    bool passed = true;
    QElapsedTimer whole;
    whole.start();
    for (const Operation& operation : operations()) {
        if (selected(operation, words))
            passed = check(operation) && passed;
    }
    std::printf("growth check %s in %.1f s (each time at 4n at most %.0f times the time at n)\n",
                passed ? "passed" : "FAILED", double(whole.elapsed()) / 1e3, allowedGrowth);
    return passed ? 0 : 1;
}
