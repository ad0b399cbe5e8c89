#include "FakeSessionBus.h"
#include "RecordedAccessibilityTree.h"
#include "TestFiles.h"

#include "capture/FileManagerReader.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

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
