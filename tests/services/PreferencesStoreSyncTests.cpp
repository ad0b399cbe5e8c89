#include "services/PreferencesStore.h"

#include "FakeLoginItem.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "InMemorySyncService.h"
#include "ManualClock.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/UserDefaults.h"
#include "library/SQLiteStore.h"
#include "services/QuickPanelTipStore.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// Runs the event loop until the condition holds, for five seconds at most.
bool eventually(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(5000);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

class PreferencesStoreSyncTest : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesStore> makeStore(bool withLibrary = true)
    {
        PreferencesStore::Services services;
        services.defaults = defaults;
        services.calendarStore = std::make_shared<test::InMemoryCalendarStore>();
        services.contactStore = std::make_shared<test::InMemoryContactStore>();
        services.quickPanelTipStore = std::make_shared<QuickPanelTipStore>(defaults);
        services.syncService = sync;
        services.loginItem = std::make_shared<test::FakeLoginItem>();
        services.linkStore = withLibrary ? library.get() : nullptr;
        services.clock = clock;
        return std::make_unique<PreferencesStore>(std::move(services));
    }
    void addLink(const QString& url) { library->addLink(url, url, {}, {}).result(); }
    qsizetype localLinks() { return library->allLinks().result().size(); }

    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<test::ManualClock> clock = std::make_shared<test::ManualClock>();
    std::shared_ptr<test::InMemorySyncService> sync = std::make_shared<test::InMemorySyncService>();
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
        {std::make_shared<CloudKitError>(12, "invalidArguments",
                                         "Field 'RecordName' is not marked QUERYABLE"),
         "CloudKit schema needs indexes: in CloudKit Dashboard, mark ___recordID/recordName as Queryable for "
         "every Morvane record type: Link, LinkRelation, DeletedRecord, and LibraryReset."},
        {std::make_shared<CloudKitError>(4, "networkFailure", "Offline"),
         "CloudKit 4 (networkFailure): Offline"},
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
    detached->eraseAllData();
    EXPECT_EQ(detached->databaseActionMessage(), "Database is not available.");
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
              "All Morvane links and relations were erased on this Mac and in "
              "iCloud. Other Macs clear after their next sync.");
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
    EXPECT_EQ(local->databaseActionMessage(), "All Morvane links and relations on this Mac were erased.");
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
}

} // namespace
} // namespace morvane
