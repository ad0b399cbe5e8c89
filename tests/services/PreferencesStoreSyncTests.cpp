#include "services/PreferencesStore.h"

#include "PreferencesDoubles.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"
#include "library/SQLiteConnection.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// Runs the event loop until the condition holds, for five seconds at most.
bool eventually(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 5000);
}

class PreferencesStoreSyncTest : public ::testing::Test, protected test::PreferencesDoubles {
protected:
    std::unique_ptr<PreferencesStore> makeStore(bool withLibrary = true)
    {
        return makePreferences(withLibrary ? library.get() : nullptr);
    }
    void addLink(const QString& url) { library->addLink(url, url, {}, {}).result(); }
    qsizetype localLinks() { return library->allLinks().result().size(); }

    std::unique_ptr<LinkStore> library = std::make_unique<LinkStore>(
        LinkStore::libraryAt(test::testHome() + QStringLiteral("/library.sqlite")),
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
};

TEST_F(PreferencesStoreSyncTest, OnePassAtATimeEvenWhenSyncIsSwitchedOffAndOnDuringIt)
{
    addLink("https://example.com/a");
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));
    EXPECT_EQ(store->syncStatus(), SyncStatus::syncing);
    store->syncNow();
    store->setSyncMode(SyncMode::disabled);
    EXPECT_EQ(store->syncStatus(), SyncStatus::disabled);
    store->setSyncMode(SyncMode::iCloud);
    ASSERT_TRUE(eventually([&] { return sync->accountCalls == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(sync->syncCalls, 1);

    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return store->syncStatus() == SyncStatus::upToDate; }));
    EXPECT_EQ(sync->remoteLinks.size(), 1);
    EXPECT_EQ(sync->maxPassesInFlight, 1);
}

TEST_F(PreferencesStoreSyncTest, FailuresAndMissingPartsShowTheirTexts)
{
    const struct {
        std::shared_ptr<std::exception> error;
        QString text;
    } cases[] = {
        {std::make_shared<SyncError>("The network is down."), "The network is down."},
        {std::make_shared<CloudKitError>(4, "networkFailure", "Offline"),
         "Record folder error 4 (networkFailure): Offline"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PreferencesStore::syncErrorText(*c.error), c.text);

    sync->syncFailure = "The network is down.";
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return store->syncStatus() == SyncStatus::error; }));
    EXPECT_EQ(store->syncErrorMessage(), "The network is down.");

    auto detached = makeStore(false);
    detached->syncNow();
    EXPECT_EQ(detached->syncStatus(), SyncStatus::error);
    EXPECT_EQ(detached->syncErrorMessage(), "Link store is not available.");
}

TEST_F(PreferencesStoreSyncTest, AnEraseWaitsForThePassInFlightSoItCannotPushTheOldLibraryBack)
{
    addLink("https://example.com/a");
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));

    store->eraseAllData();
    EXPECT_TRUE(store->isErasingDatabase());
    store->syncNow();
    clock->advance(std::chrono::seconds(45));
    store->applicationBecameActive();
    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return !store->databaseActionInProgress(); }));
    EXPECT_EQ(sync->syncCalls, 1);
    EXPECT_EQ(sync->eraseCalls, 1);
    EXPECT_TRUE(sync->remoteLinks.isEmpty());
    EXPECT_EQ(localLinks(), 0);
    EXPECT_EQ(store->databaseActionMessage(),
              "All Morvane links and relations were erased on this computer and in the shared record "
              "folder. Your other computers clear after their next sync.");
    EXPECT_TRUE(LibraryReset::loadAcknowledged(*defaults));
    EXPECT_FALSE(store->databaseActionProgressMessage());

    // Afterwards the timer and the activation start passes again, only while sync is on.
    clock->advance(std::chrono::seconds(45));
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 2 && !sync->passesInFlight; }));
    store->applicationBecameActive();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 3; }));
    store->setSyncMode(SyncMode::disabled);
    clock->advance(std::chrono::seconds(90));
    store->applicationBecameActive();
    QCoreApplication::processEvents();
    EXPECT_EQ(sync->syncCalls, 3);
}

TEST_F(PreferencesStoreSyncTest, ALocalEraseNeverAsksTheRecordStoreAndAFailedRemoteEraseKeepsTheLibrary)
{
    addLink("https://example.com/a");
    auto local = makeStore();
    local->eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseActionInProgress(); }));
    EXPECT_EQ(local->databaseActionMessage(),
              "All Morvane links and relations on this computer were erased.");
    EXPECT_EQ(local->syncStatus(), SyncStatus::disabled);
    EXPECT_EQ(sync->eraseCalls, 0);
    EXPECT_EQ(localLinks(), 0);

    addLink("https://example.com/b");
    sync->eraseFailure = "No account.";
    local->setSyncMode(SyncMode::iCloud);
    ASSERT_TRUE(eventually([&] { return local->syncStatus() == SyncStatus::upToDate; }));
    local->eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseActionInProgress(); }));
    EXPECT_EQ(local->databaseActionMessage(), "Could not erase data: No account.");
    EXPECT_EQ(local->syncStatus(), SyncStatus::error);
    EXPECT_EQ(localLinks(), 1);

    // The remote erase done and the local one failed: the marker stays unacknowledged, so the next
    // pass erases here instead of uploading the library again.
    sync->eraseFailure.reset();
    SQLiteConnection::open(test::testHome() + QStringLiteral("/library.sqlite"))
        .execute(
            "CREATE TRIGGER refuse BEFORE DELETE ON links BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
    local->eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseActionInProgress(); }));
    EXPECT_EQ(sync->eraseCalls, 2);
    EXPECT_EQ(localLinks(), 1);
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
}

TEST_F(PreferencesStoreSyncTest, AReplacingImportWaitsForThePassInFlightAndLeavesTheReplacementRemote)
{
    addLink("https://example.com/backup");
    auto exporter = makeStore();
    const QString backup = test::testHome() + QStringLiteral("/backup.json");
    exporter->exportLibrary(backup);
    ASSERT_TRUE(eventually([&] { return !exporter->databaseActionInProgress(); }));
    exporter.reset();
    library->eraseAll().waitForFinished();
    addLink("https://example.com/old");

    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));
    store->importLibrary(backup, true);
    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return !store->databaseActionInProgress() && !sync->passesInFlight; }));
    ASSERT_TRUE(eventually([&] { return store->syncStatus() == SyncStatus::upToDate; }));
    EXPECT_EQ(store->databaseActionMessage(),
              "Replaced library with 1 link(s) and 0 relation(s) from "
              "backup.json. Local library now has 1 link(s) and 0 relation(s).");
    ASSERT_EQ(sync->remoteLinks.size(), 1);
    EXPECT_EQ(sync->remoteLinks.first().url, "https://example.com/backup");
}

TEST_F(PreferencesStoreSyncTest, ABackupWithRelationsToMissingLinksSaysHowManyItLeftOutOrSkipped)
{
    addLink("https://example.com/kept");
    const QString kept = uuidString(library->allLinks().result().first().id);
    SQLiteConnection raw = SQLiteConnection::open(test::testHome() + QStringLiteral("/library.sqlite"));
    raw.execute("PRAGMA foreign_keys = OFF");
    raw.execute("INSERT INTO link_relations VALUES ('8D3C8E31-5D2B-4F3B-9E0A-6C1F4B2A7D90', '" + kept +
                "', '3F1E2D4C-5B6A-4798-8A9B-0C1D2E3F4A5B', '2024-05-01T08:00:00.000Z')");
    auto store = makeStore();
    const QString backup = test::testHome() + QStringLiteral("/backup.json");
    store->exportLibrary(backup);
    ASSERT_TRUE(eventually([&] { return !store->databaseActionInProgress(); }));
    EXPECT_EQ(store->databaseActionMessage(),
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
    store->importLibrary(test::homePath("older.json"), true);
    ASSERT_TRUE(eventually([&] { return !store->databaseActionInProgress(); }));
    EXPECT_EQ(store->databaseActionMessage(),
              "Replaced library with 1 link(s) and 0 relation(s) from older.json. Local library now has 1 "
              "link(s) and 0 relation(s). Skipped 1 relation(s) that refer to missing links.");
}

TEST_F(PreferencesStoreSyncTest, AnUnreadableChosenFileIsReportedAndTheLinkKeepsItsRepairIssue)
{
    const QString path = test::writeFile("docs/report.txt", "report");
    const LinkItem saved = library->addLink("Report", LocatorUrl::fileUrlText(path), {}, {}).result();
    ASSERT_EQ(saved.lastKnownPath, path);
    test::renameFile("docs/report.txt", "docs/moved/report.txt");
    auto store = makeStore();
    const QStringList roots{test::homePath("docs")};
    const QList<FileRepairIssue> issues = QCoro::waitFor(store->scanFileRepairs(roots));
    ASSERT_EQ(issues.size(), 1);

    // The chosen file vanished between the scan and the confirmation.
    FileResolutionCandidate vanished;
    vanished.url = LocatorUrl::fileUrlText(test::homePath("docs/moved/gone.txt"));
    EXPECT_FALSE(QCoro::waitFor(store->confirmFileRepair(issues.first().item, vanished)));
    EXPECT_EQ(store->repairQueueMessage(),
              "Could not relink “Report”: The chosen file could not be read: gone.txt");
    EXPECT_EQ(library->allLinks().result(), QList<LinkItem>{saved});
    const QList<FileRepairIssue> rescanned = QCoro::waitFor(store->scanFileRepairs(roots));
    ASSERT_EQ(rescanned.size(), 1);
    EXPECT_EQ(rescanned.first().id(), saved.id);
}

TEST_F(PreferencesStoreSyncTest, OnlyAMachineTurningSyncOnAfterThisBuildJoinsAsANewOne)
{
    const auto completed = [&] { return defaults->boolValue(LibraryReset::completedPassKey); };
    makeStore().reset();
    EXPECT_FALSE(completed()); // sync off: nothing written
    makeStore()->setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(completed(), false);
    makeStore().reset(); // a restart before its first pass keeps it joining
    EXPECT_EQ(completed(), false);

    // Syncing already when this build came, or switched on in the settings file while stopped: a start
    // cannot tell which, so it leaves the question to the first pass, which looks for evidence.
    defaults->remove(LibraryReset::completedPassKey);
    makeStore().reset();
    EXPECT_EQ(completed(), std::nullopt);
    makeStore()->setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(completed(), std::nullopt);
}

} // namespace
} // namespace morvane
