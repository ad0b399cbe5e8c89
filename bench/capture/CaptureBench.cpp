// One poll of the context monitor as it runs every 3 seconds: the providers capture the item in
// front (the other application answers at once, through a scripted runner, so script time is left
// out), then the library looks it up. A saved and an unsaved file in Finder, a saved and an unsaved
// page in a browser, on generated libraries.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "FakeWorkspace.h"
#include "LibraryGenerator.h"
#include "ScriptedRunner.h"
#include "capture/ActiveContextMonitor.h"
#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "platform/AccessibilityApi.h"
#include "store/LinkStore.h"
#include "store/LinkWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <qcoro/qcorotask.h>

#include <map>
#include <memory>

using namespace morvane;
using morvane::bench::LibraryGenerator;
using morvane::test::FakeWorkspace;
using morvane::test::ScriptedRunner;

namespace {

const QString finder = FinderActiveContextProvider::applicationIdentifier;
const QString chrome = QStringLiteral("com.apple.Safari"); // a browser asked by script

struct CaptureLibrary {
    QTemporaryDir folder;
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    QString savedFile, unsavedFile, savedPage;
    std::unique_ptr<LinkStore> store;
};

QString writeFile(const QTemporaryDir& folder, const QString& name)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(64 * 1024, 'x'));
    return path;
}

// One library per size, generated on first use, with one file saved from Finder.
CaptureLibrary& library(long size)
{
    static std::map<long, std::unique_ptr<CaptureLibrary>> libraries;
    std::unique_ptr<CaptureLibrary>& entry = libraries[size];
    if (entry)
        return *entry;
    entry = std::make_unique<CaptureLibrary>();
    const QString databasePath = entry->folder.filePath(QStringLiteral("Morvane.sqlite"));
    entry->savedFile = writeFile(entry->folder, QStringLiteral("Quarterly report.pdf"));
    entry->unsavedFile = writeFile(entry->folder, QStringLiteral("Draft notes.txt"));
    {
        SQLiteStore sqlite(databasePath);
        const LibraryGenerator::Summary summary = LibraryGenerator().populate(sqlite, size);
        entry->savedPage = summary.urls[summary.urls.size() / 2];
        const QString url = LocatorUrl::fileUrlText(entry->savedFile);
        LinkParser parser;
        LinkWriter(sqlite.reads(), sqlite.writes(), sqlite.transactions(), sqlite.clock(), parser,
                   *entry->identity)
            .addCapturedContext({QStringLiteral("Quarterly report.pdf"), url, LinkType::file,
                                 QStringLiteral("Finder"), entry->identity->makeIdentity(url, false)},
                                {}, {});
        SQLiteConnection::open(databasePath).execute(QStringLiteral("ANALYZE"));
    }
    entry->store = std::make_unique<LinkStore>(LinkStore::libraryAt(databasePath), entry->identity);
    return *entry;
}

enum class Item { savedFile, unsavedFile, savedPage, unsavedPage };

void BM_MonitorPoll(benchmark::State& state, Item item)
{
    CaptureLibrary& generated = library(state.range(0));
    auto workspace = std::make_shared<FakeWorkspace>();
    auto scripts = std::make_shared<ScriptedRunner>();
    const bool inFinder = item == Item::savedFile || item == Item::unsavedFile;
    workspace->activate(inFinder ? finder : chrome);
    const QString answer = item == Item::savedFile     ? generated.savedFile
                           : item == Item::unsavedFile ? generated.unsavedFile
                           : item == Item::savedPage   ? QStringLiteral("Page\n") + generated.savedPage
                                                     : QStringLiteral("Page\nhttps://unsaved.example.org/a");
    scripts->answer(inFinder ? finder : chrome, ScriptOutcome::answer(answer));

    // The providers the service asks before the browser, in their order.
    auto service = std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{
        std::make_shared<FinderActiveContextProvider>(workspace, scripts, generated.identity),
        std::make_shared<MailActiveContextProvider>(workspace, scripts),
        std::make_shared<BrowserActiveContextProvider>(workspace, scripts,
                                                       std::make_shared<UnavailableAccessibilityApi>())});
    bool saved = false;
    ActiveContextMonitor monitor(
        *generated.store, service, SystemClock::shared(),
        [&](bool hasLinks, const std::optional<CapturedContext>&) { saved = hasLinks; });
    for (auto _ : state)
        QCoro::waitFor(monitor.checkActiveContext());

    if (saved != (item == Item::savedFile || item == Item::savedPage))
        state.SkipWithError("the poll did not report what the library holds");
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({100000}))
        b->Arg(size);
}

BENCHMARK_CAPTURE(BM_MonitorPoll, savedFile, Item::savedFile)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MonitorPoll, unsavedFile, Item::unsavedFile)
    ->Apply(sizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MonitorPoll, savedPage, Item::savedPage)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MonitorPoll, unsavedPage, Item::unsavedPage)
    ->Apply(sizes)
    ->Unit(benchmark::kMicrosecond);

} // namespace

// The monitor awaits the library on the main thread's event loop.
int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
