#include "services/SyncScheduler.h"

#include "LogCapture.h"
#include "PreferencesLibraryTest.h"
#include "library/SQLiteConnection.h"

#include <QCoreApplication>

namespace morvane {
namespace {

using test::eventually;
using SyncSchedulerTest = test::PreferencesLibraryTest;

TEST_F(SyncSchedulerTest, OnePassAtATimeEvenWhenSyncIsSwitchedOffAndOnDuringIt)
{
    addLink("https://example.com/a");
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));
    EXPECT_EQ(store->sync().syncStatus(), SyncStatus::syncing);
    store->sync().syncNow();
    store->sync().setSyncMode(SyncMode::disabled);
    EXPECT_EQ(store->sync().syncStatus(), SyncStatus::disabled);
    store->sync().setSyncMode(SyncMode::iCloud);
    ASSERT_TRUE(eventually([&] { return sync->accountCalls == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(sync->syncCalls, 1);

    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return store->sync().syncStatus() == SyncStatus::upToDate; }));
    EXPECT_EQ(sync->remoteLinks.size(), 1);
    EXPECT_EQ(sync->maxPassesInFlight, 1);
}

TEST_F(SyncSchedulerTest, FailuresAndMissingPartsShowTheirTexts)
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
        EXPECT_EQ(SyncScheduler::syncErrorText(*c.error), c.text);

    sync->syncFailure = "The network is down.";
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return store->sync().syncStatus() == SyncStatus::error; }));
    EXPECT_EQ(store->sync().syncErrorMessage(), "The network is down.");

    auto detached = makeStore(false);
    detached->sync().syncNow();
    EXPECT_EQ(detached->sync().syncStatus(), SyncStatus::error);
    EXPECT_EQ(detached->sync().syncErrorMessage(), "Link store is not available.");
}

// Automatic passes repeat: a lasting failure is one line, a new reason or a recovery another.
TEST_F(SyncSchedulerTest, AFailingPassIsLoggedWithItsReasonOncePerChangeOfReason)
{
    test::LogCapture log(QStringLiteral("morvane.SyncScheduler"));
    sync->syncFailure = "No space left on device.";
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    auto store = makeStore();
    int passes = 1;
    const auto pass = [&] {
        store->sync().syncNow();
        return eventually(
            [&] { return sync->syncCalls == passes && store->sync().syncStatus() != SyncStatus::syncing; });
    };
    ASSERT_TRUE(eventually([&] { return store->sync().syncStatus() == SyncStatus::error; }));
    for (const char* failure : std::initializer_list<const char*>{
             "No space left on device.", "No space left on device.", "The folder is gone.", nullptr, nullptr,
             "No space left on device."}) {
        sync->syncFailure = failure ? std::optional<QString>(QString::fromUtf8(failure)) : std::nullopt;
        ++passes;
        ASSERT_TRUE(pass()) << passes;
    }
    EXPECT_EQ(log.lines(),
              (QStringList{"The sync pass failed: No space left on device.",
                           "The sync pass failed: The folder is gone.", "A sync pass went through again",
                           "The sync pass failed: No space left on device."}));
}

TEST_F(SyncSchedulerTest, AnEraseWaitsForThePassInFlightSoItCannotPushTheOldLibraryBack)
{
    addLink("https://example.com/a");
    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    auto store = makeStore();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));

    store->sync().eraseAllData();
    EXPECT_TRUE(store->sync().isErasingDatabase());
    store->sync().syncNow();
    clock->advance(std::chrono::seconds(45));
    store->sync().applicationBecameActive();
    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return !store->databaseAction().inProgress(); }));
    EXPECT_EQ(sync->syncCalls, 1);
    EXPECT_EQ(sync->eraseCalls, 1);
    EXPECT_TRUE(sync->remoteLinks.isEmpty());
    EXPECT_EQ(localLinks(), 0);
    EXPECT_EQ(store->databaseAction().message(),
              "All Morvane links and relations were erased on this computer and in the shared record "
              "folder. Your other computers clear after their next sync.");
    EXPECT_TRUE(LibraryReset::loadAcknowledged(*defaults));
    EXPECT_FALSE(store->databaseAction().progressMessage());

    // Afterwards the timer and the activation start passes again, only while sync is on.
    clock->advance(std::chrono::seconds(45));
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 2 && !sync->passesInFlight; }));
    store->sync().applicationBecameActive();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 3; }));
    store->sync().setSyncMode(SyncMode::disabled);
    clock->advance(std::chrono::seconds(90));
    store->sync().applicationBecameActive();
    QCoreApplication::processEvents();
    EXPECT_EQ(sync->syncCalls, 3);
}

// Work that waits for the pass in flight runs at once when none is, and as the pass ends otherwise.
TEST_F(SyncSchedulerTest, WorkAfterThePassInFlightRunsOnceThePassHasEnded)
{
    auto store = makeStore();
    int ran = 0;
    store->sync().afterPassInFlight([&ran] { ++ran; });
    EXPECT_EQ(ran, 1);

    defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
    sync->holdPasses = true;
    store->sync().setSyncMode(SyncMode::iCloud);
    store->sync().syncNow();
    ASSERT_TRUE(eventually([&] { return sync->syncCalls == 1; }));
    store->sync().afterPassInFlight([&ran] { ++ran; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 1);
    sync->releasePasses();
    ASSERT_TRUE(eventually([&] { return ran == 2; }));
}

TEST_F(SyncSchedulerTest, ALocalEraseNeverAsksTheRecordStoreAndAFailedRemoteEraseKeepsTheLibrary)
{
    addLink("https://example.com/a");
    auto local = makeStore();
    local->sync().eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseAction().inProgress(); }));
    EXPECT_EQ(local->databaseAction().message(),
              "All Morvane links and relations on this computer were erased.");
    EXPECT_EQ(local->sync().syncStatus(), SyncStatus::disabled);
    EXPECT_EQ(sync->eraseCalls, 0);
    EXPECT_EQ(localLinks(), 0);

    addLink("https://example.com/b");
    sync->eraseFailure = "No account.";
    local->sync().setSyncMode(SyncMode::iCloud);
    ASSERT_TRUE(eventually([&] { return local->sync().syncStatus() == SyncStatus::upToDate; }));
    local->sync().eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseAction().inProgress(); }));
    EXPECT_EQ(local->databaseAction().message(), "Could not erase data: No account.");
    EXPECT_EQ(local->sync().syncStatus(), SyncStatus::error);
    EXPECT_EQ(localLinks(), 1);

    // The remote erase done and the local one failed: the marker stays unacknowledged, so the next
    // pass erases here instead of uploading the library again.
    sync->eraseFailure.reset();
    SQLiteConnection::open(test::testHome() + QStringLiteral("/library.sqlite"))
        .execute(
            "CREATE TRIGGER refuse BEFORE DELETE ON links BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
    local->sync().eraseAllData();
    ASSERT_TRUE(eventually([&] { return !local->databaseAction().inProgress(); }));
    EXPECT_EQ(sync->eraseCalls, 2);
    EXPECT_EQ(localLinks(), 1);
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
}

TEST_F(SyncSchedulerTest, OnlyAMachineTurningSyncOnAfterThisBuildJoinsAsANewOne)
{
    const auto completed = [&] { return defaults->boolValue(LibraryReset::completedPassKey); };
    makeStore().reset();
    EXPECT_FALSE(completed()); // sync off: nothing written
    makeStore()->sync().setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(completed(), false);
    makeStore().reset(); // a restart before its first pass keeps it joining
    EXPECT_EQ(completed(), false);

    // Syncing already when this build came, or switched on in the settings file while stopped: a start
    // cannot tell which, so it leaves the question to the first pass, which looks for evidence.
    defaults->remove(LibraryReset::completedPassKey);
    makeStore().reset();
    EXPECT_EQ(completed(), std::nullopt);
    makeStore()->sync().setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(completed(), std::nullopt);
}

} // namespace
} // namespace morvane
