#include "services/LibraryMaintenance.h"

#include "PreferencesLibraryTest.h"
#include "TestFiles.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"
#include "library/SQLiteConnection.h"

#include <QCoroTask>
#include <QFile>

namespace morvane {
namespace {

using test::eventually;
using LibraryMaintenanceTest = test::PreferencesLibraryTest;

TEST_F(LibraryMaintenanceTest, AReplacingImportWaitsForThePassInFlightAndLeavesTheReplacementRemote)
{
    addLink("https://example.com/backup");
    auto exporter = makeStore();
    const QString backup = test::testHome() + QStringLiteral("/backup.json");
    exporter->maintenance().exportLibrary(backup);
    ASSERT_TRUE(eventually([&] { return !exporter->databaseAction().inProgress(); }));
    exporter.reset();
    library->eraseAll().waitForFinished();
    addLink("https://example.com/old");

    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));
    store->maintenance().importLibrary(backup, true);
    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return !store->databaseAction().inProgress() && !sync->passesInFlight; }));
    ASSERT_TRUE(eventually([&] { return store->sync().syncStatus() == SyncStatus::upToDate; }));
    EXPECT_EQ(store->databaseAction().message(),
              "Replaced library with 1 link(s) and 0 relation(s) from "
              "backup.json. Local library now has 1 link(s) and 0 relation(s).");
    ASSERT_EQ(sync->remoteLinks.size(), 1);
    EXPECT_EQ(sync->remoteLinks.first().url, "https://example.com/backup");
}

TEST_F(LibraryMaintenanceTest, ABackupWithRelationsToMissingLinksSaysHowManyItLeftOutOrSkipped)
{
    addLink("https://example.com/kept");
    const QString kept = uuidString(library->allLinks().result().first().id);
    SQLiteConnection raw = SQLiteConnection::open(test::testHome() + QStringLiteral("/library.sqlite"));
    raw.execute("PRAGMA foreign_keys = OFF");
    raw.execute("INSERT INTO link_relations VALUES ('8D3C8E31-5D2B-4F3B-9E0A-6C1F4B2A7D90', '" + kept +
                "', '3F1E2D4C-5B6A-4798-8A9B-0C1D2E3F4A5B', '2024-05-01T08:00:00.000Z')");
    auto store = makeStore();
    const QString backup = test::testHome() + QStringLiteral("/backup.json");
    store->maintenance().exportLibrary(backup);
    ASSERT_TRUE(eventually([&] { return !store->databaseAction().inProgress(); }));
    EXPECT_EQ(store->databaseAction().message(),
              "Exported Morvane library to backup.json. Left out 1 relation(s) that refer to missing links.");

    // A backup an older build wrote with that relation in it.
    QFile file(backup);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray older = file.readAll();
    file.close();
    older.replace("\"relations\": []",
                  "\"relations\":[{\"id\":\"8D3C8E31-5D2B-4F3B-9E0A-6C1F4B2A7D90\",\"fromLinkID\":\"" +
                      kept.toUtf8() +
                      "\",\"toLinkID\":\"3F1E2D4C-5B6A-4798-8A9B-0C1D2E3F4A5B\",\"createdAt\":"
                      "\"2024-05-01T08:00:00Z\"}]");
    ASSERT_TRUE(older.contains("8D3C8E31"));
    test::writeFile("older.json", older);
    store->maintenance().importLibrary(test::homePath("older.json"), true);
    ASSERT_TRUE(eventually([&] { return !store->databaseAction().inProgress(); }));
    EXPECT_EQ(store->databaseAction().message(),
              "Replaced library with 1 link(s) and 0 relation(s) from older.json. Local library now has 1 "
              "link(s) and 0 relation(s). Skipped 1 relation(s) that refer to missing links.");
}

TEST_F(LibraryMaintenanceTest, AnUnreadableChosenFileIsReportedAndTheLinkKeepsItsRepairIssue)
{
    const QString path = test::writeFile("docs/report.txt", "report");
    const LinkItem saved = library->addLink("Report", LocatorUrl::fileUrlText(path), {}, {}).result();
    ASSERT_EQ(saved.lastKnownPath, path);
    test::renameFile("docs/report.txt", "docs/moved/report.txt");
    auto store = makeStore();
    const QStringList roots{test::homePath("docs")};
    const QList<FileRepairIssue> issues = QCoro::waitFor(store->maintenance().scanFileRepairs(roots));
    ASSERT_EQ(issues.size(), 1);

    // The chosen file vanished between the scan and the confirmation.
    FileResolutionCandidate vanished;
    vanished.url = LocatorUrl::fileUrlText(test::homePath("docs/moved/gone.txt"));
    EXPECT_FALSE(QCoro::waitFor(store->maintenance().confirmFileRepair(issues.first().item, vanished)));
    EXPECT_EQ(store->maintenance().repairQueueMessage(),
              "Could not relink “Report”: The chosen file could not be read: gone.txt");
    EXPECT_EQ(library->allLinks().result(), QList<LinkItem>{saved});
    const QList<FileRepairIssue> rescanned = QCoro::waitFor(store->maintenance().scanFileRepairs(roots));
    ASSERT_EQ(rescanned.size(), 1);
    EXPECT_EQ(rescanned.first().id(), saved.id);
}

} // namespace
} // namespace morvane
