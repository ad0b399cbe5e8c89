#include "FakeSessionBus.h"
#include "FakeWorkspace.h"
#include "RecordedAccessibilityTree.h"
#include "TestFiles.h"

#include "capture/ActiveContextService.h"
#include "capture/DesktopApplicationContextProvider.h"
#include "capture/FileManagerReader.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// The folder the recordings were made in, "Docs" in the recording session's home (/tmp/<home>), made
// again in the test's home with the same items; the recordings select "Notes é.txt".
class RecordedFileManagers : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QFileInfo(testHome()).absolutePath() != QLatin1String("/tmp"))
            GTEST_SKIP() << "the recordings' path bars name /tmp as the home's parent";
        writeFile("Docs/Notes é.txt", "notes\n");
        writeFile("Docs/Other.txt", "other\n");
        writeFile("Docs/Five Pages.pdf", "%PDF-1.4\n");
        QDir().mkpath(homePath("Docs/Sub dir"));
    }

    // The recording replayed as this process's windows.
    AccessibilityElement replay(const QString& recording)
    {
        const std::optional<AccessibilityElement> application =
            replayRecordedTree(*tree, QStringLiteral(MORVANE_RECORDED_TREES "/") + recording, getpid(),
                               {{"morvane-e2e-HOME", QFileInfo(testHome()).fileName()}});
        EXPECT_TRUE(application) << qPrintable(recording);
        return application.value_or(AccessibilityElement{});
    }

    std::optional<CapturedContext> read(FileManager manager, const QString& title) const
    {
        return reader.read(manager, {getpid(), {}, title}).context;
    }

    CapturedContext notes(const QString& manager) const
    {
        const QString url = LocatorUrl::fileUrlText(homePath("Docs/Notes é.txt"), false);
        return {"Notes é.txt", url, LinkType::file, manager, identity->makeIdentity(url, false)};
    }

    std::shared_ptr<AccessibilityTree> tree = std::make_shared<AccessibilityTree>();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    const FileManagerReader reader{std::make_shared<FakeSessionBus>(), tree, identity};
};

// Every element below start with this role (and this name, when given), depth first.
QList<AccessibilityElement> elementsNamed(AccessibilityTree& tree, const AccessibilityElement& start,
                                          AccessibilityRole role, const std::optional<QString>& name = {})
{
    return tree
        .run([=](AccessibilityElements& api) {
            QList<AccessibilityElement> found;
            AccessibilityApi::Walk walk;
            walk.showingOnly = false;
            api.findFirst(
                start,
                [&](const AccessibilityElement& element) {
                    if (api.role(element) == role && (!name || api.name(element) == name))
                        found.append(element);
                    return false;
                },
                walk);
            return found;
        })
        .result();
}

} // namespace

TEST_F(RecordedFileManagers, NemoGivesTheItemSelectedInEitherViewInThePathBarsFolder)
{
    replay("nemo-icon-view.json");
    EXPECT_EQ(read(FileManager::nemo, "Docs"), notes("Nemo"));

    tree = std::make_shared<AccessibilityTree>();
    const FileManagerReader listReader{std::make_shared<FakeSessionBus>(), tree, identity};
    const AccessibilityElement nemo = replay("nemo-list-view.json");
    EXPECT_EQ(listReader.read(FileManager::nemo, {getpid(), {}, "Docs"}).context, notes("Nemo"));

    // Gone up to the home folder, the window is titled after it: the path bar's deeper button no
    // longer names the folder shown, and "Notes é.txt" is no item of the home folder.
    for (const AccessibilityElement& frame : elementsNamed(*tree, nemo, AccessibilityRole::frame, "Docs"))
        tree->edit(frame, [&](AccessibilityTree::Node& n) { n.name = QFileInfo(testHome()).fileName(); });
    EXPECT_EQ(listReader.read(FileManager::nemo, {getpid(), {}, QFileInfo(testHome()).fileName()}).context,
              std::nullopt);
    EXPECT_EQ(tree->offThreadReads, 0);
}

TEST_F(RecordedFileManagers, CajaReadsItsHiddenLocationEntryAndNeverItsHiddenPanesSelection)
{
    const AccessibilityElement caja = replay("caja-icon-view.json");
    EXPECT_EQ(read(FileManager::caja, "Docs"), notes("Caja"));

    // With nothing selected in the view, the side bar's hidden tree and history still select "Docs":
    // a folder of that name inside Docs is not what the user selected.
    QDir().mkpath(homePath("Docs/Docs"));
    for (const AccessibilityElement& view :
         elementsNamed(*tree, caja, AccessibilityRole::layeredPane, "Icon View"))
        tree->edit(view, [](AccessibilityTree::Node& n) { n.selected.clear(); });
    for (const AccessibilityElement& bar : elementsNamed(*tree, caja, AccessibilityRole::statusBar))
        tree->edit(bar, [](AccessibilityTree::Node& n) { n.name = "4 items, Free space: 63.2 GB"; });
    EXPECT_EQ(reader.read(FileManager::caja, {getpid(), {}, "Docs"}),
              WindowReading::nothingBecause("Select a file in Caja to capture it."));
}

TEST_F(RecordedFileManagers, ThunarsIconViewShowsNoItemsSoItsStatusBarNamesTheOneSelected)
{
    const AccessibilityElement thunar = replay("thunar-icon-view.json");
    EXPECT_EQ(read(FileManager::thunar, "Docs - Thunar"), notes("Thunar"));

    // Several selected are counted, not named: one is to be selected.
    for (const AccessibilityElement& bar : elementsNamed(*tree, thunar, AccessibilityRole::statusBar))
        tree->edit(bar, [](AccessibilityTree::Node& n) { n.name = "2 items selected (12 bytes)"; });
    EXPECT_EQ(reader.read(FileManager::thunar, {getpid(), {}, "Docs - Thunar"}),
              WindowReading::nothingBecause("Select a file in Thunar to capture it."));
}

TEST_F(RecordedFileManagers, PCManFMsIconsHaveNoNamesSoItsStatusBarNamesTheOneSelected)
{
    replay("pcmanfm-icon-view.json");
    EXPECT_EQ(read(FileManager::pcmanfm, "Docs"), notes("PCManFM"));
}

// Thunar's icon view names its one selected item in its status bar; the window keeps its title when
// another file of the same folder is selected. Each read of the window answers only once the test
// lets it (in the order the test says), so a read started before the panel came up can end after it.
TEST_F(RecordedFileManagers, AnotherFileSelectedInTheSameFolderJustBeforeTheShowIsNeverTakenForTheFirst)
{
    const AccessibilityElement thunar = replay("thunar-icon-view.json");
    const auto select = [&](const QString& name) {
        for (const AccessibilityElement& bar : elementsNamed(*tree, thunar, AccessibilityRole::statusBar))
            tree->edit(bar, [&](AccessibilityTree::Node& n) {
                n.name = QStringLiteral("\"%1\"  |  6 bytes  |  plain text document").arg(name);
            });
    };
    struct Answers {
        std::mutex mutex;
        std::condition_variable released;
        int started = 0;
        int releasedUpTo = 1;
    };
    auto answers = std::make_shared<Answers>();
    const auto release = [&](int read) {
        {
            const std::lock_guard lock(answers->mutex);
            answers->releasedUpTo = read;
        }
        answers->released.notify_all();
    };
    // A failed expectation leaves no read waiting on the shared pool.
    const auto releaseAll = qScopeGuard([&] { release(1000); });
    const auto readMade = [&](int read) {
        std::unique_lock lock(answers->mutex);
        answers->released.wait(lock, [&] { return answers->started >= read; });
    };
    const auto readsStarted = [&] {
        const std::lock_guard lock(answers->mutex);
        return answers->started;
    };
    auto workspace = std::make_shared<FakeWorkspace>();
    workspace->activate("Thunar", getpid(), "Docs - Thunar");
    auto provider = std::make_shared<DesktopApplicationContextProvider>(
        "File Manager", workspace, [](const QString& identifier) { return identifier == "Thunar"; },
        [reader = reader, answers](const DesktopWindow& window) {
            // What the window showed when the read began, answered late.
            WindowReading reading =
                reader.read(FileManager::thunar, {window.application.processId, {}, window.title});
            std::unique_lock lock(answers->mutex);
            const int read = ++answers->started;
            answers->released.notify_all();
            answers->released.wait(lock, [&] { return answers->releasedUpTo >= read; });
            return reading;
        },
        ApplicationReading::accessibilityBus);
    ActiveContextService service({provider});
    // The file offered, else the message said, else "nothing" (the panel says it is reading).
    const auto said = [](const CaptureResult& captured) {
        return (!captured.contexts.isEmpty() ? captured.contexts.first().title
                                             : captured.message.value_or(QStringLiteral("nothing")))
            .toStdString();
    };
    const auto offered = [&] { return said(service.captureContexts()); };

    service.refreshInBackground().waitForFinished();
    ASSERT_EQ(offered(), "Notes é.txt");

    // The monitor's poll reads the window while Notes is selected; Other is selected, and the panel
    // comes up over the window at once.
    QFuture<void> poll = service.refreshInBackground();
    readMade(2);
    select("Other.txt");
    QFuture<void> show = service.refreshForShowing();
    EXPECT_EQ(offered(), "nothing") << "not yet read since the show";
    release(2);
    poll.waitForFinished();
    EXPECT_EQ(offered(), "nothing") << "a read started before the show ended after it";
    EXPECT_FALSE(show.isFinished());
    release(3);
    show.waitForFinished();
    EXPECT_EQ(offered(), "Other.txt");

    // The panel's own poll while it is open reads the window again: what the show's read found stays
    // offered meanwhile, and the panel never goes back to reading.
    QFuture<void> open = service.refreshInBackground();
    EXPECT_EQ(offered(), "Other.txt");
    release(4);
    open.waitForFinished();
    EXPECT_EQ(offered(), "Other.txt");

    // Shown again once Notes is selected again: only the read since the show counts.
    select("Notes é.txt");
    show = service.refreshForShowing();
    EXPECT_EQ(offered(), "nothing");
    release(5);
    show.waitForFinished();
    EXPECT_EQ(offered(), "Notes é.txt");

    // The monitor's poll began its read before the panel came up over Other: it reads the window once
    // more rather than report nothing (the tray's indicator off) until its next poll.
    QCoro::Task<CaptureResult> monitor = service.captureFreshContexts();
    readMade(6);
    select("Other.txt");
    show = service.refreshForShowing();
    release(6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.isReady() || readsStarted() == 8; }));
    release(8);
    show.waitForFinished();
    EXPECT_EQ(said(QCoro::waitFor(monitor)), "Other.txt");
    EXPECT_EQ(tree->offThreadReads, 0);
}

// A GTK 2 program is on the accessibility bus only when started with the bridge module loaded.
TEST(PCManFMOffTheBus, IsToldToStartWithTheBridgeOnlyWhenStartedWithoutIt)
{
    const FileManagerReader reader{std::make_shared<FakeSessionBus>(), std::make_shared<AccessibilityTree>(),
                                   std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>())};
    for (const QString modules : {"gail", "gail:atk-bridge"}) {
        QProcess pcmanfm;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("GTK_MODULES", modules);
        pcmanfm.setProcessEnvironment(environment);
        pcmanfm.start("sleep", {"30"});
        ASSERT_TRUE(pcmanfm.waitForStarted());
        // Started means the program is being loaded: its environment is in place a moment later.
        QFile startEnvironment(QStringLiteral("/proc/%1/environ").arg(pcmanfm.processId()));
        const QDeadlineTimer loaded(5000);
        while (!loaded.hasExpired() && startEnvironment.open(QIODevice::ReadOnly) &&
               !startEnvironment.readAll().contains("GTK_MODULES="))
            startEnvironment.close();
        const WindowReading reading = reader.read(FileManager::pcmanfm, {pcmanfm.processId(), {}, "Docs"});
        EXPECT_EQ(reading, modules == "gail" ? WindowReading::nothingBecause(
                                                   "Start PCManFM with GTK_MODULES=gail:atk-bridge to let "
                                                   "Morvane read it.")
                                             : WindowReading())
            << modules.toStdString();
        pcmanfm.kill();
        pcmanfm.waitForFinished();
    }
}
