#include "SyncTestSupport.h"

#include "sync/RecordFormats.h"

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

using SyncPassTest = SharedCloudTest;

TEST_F(SyncPassTest, linksRelationsAndDeletionsTravelBetweenMachines)
{
    cloud->pageSize = 2; // every query takes several pages
    LinkItem one = makeLink("one");
    one.tags = {"work"};
    one.lastKnownPath = "/home/a/one";
    one.fileSize = 42;
    one.bookmarkData = QByteArray("a's bookmark");
    one = a.add(one);
    const LinkItem two = a.add(makeLink("two"));
    const LinkItem three = a.add(makeLink("three"));
    a.relate(one, two);
    a.relate(three, one);
    a.sync();
    b.sync();

    EXPECT_EQ(b.titles(), (QStringList{"one", "three", "two"}));
    EXPECT_EQ(b.relationCount(), 2);
    const std::optional<LinkItem> copy = b.link(one.id);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->tags, QStringList{"work"});
    EXPECT_EQ(copy->lastKnownPath, "/home/a/one");
    EXPECT_EQ(copy->fileSize, 42);
    EXPECT_FALSE(copy->bookmarkData); // stays on the machine that made it

    // A deletes a link (and with it a relation) and the other relation; B follows and the cloud
    // forgets them for good.
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(one.id, two.id); });
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().deleteLink(three.id); });
    a.sync();
    const int announcedBefore = b.settledAnnouncements();
    b.sync();
    EXPECT_EQ(b.titles(), (QStringList{"one", "two"}));
    EXPECT_EQ(b.relationCount(), 0);
    EXPECT_EQ(cloud->names(RecordFormats::linkType).size(), 2);
    EXPECT_TRUE(cloud->names(RecordFormats::relationType).isEmpty());
    EXPECT_EQ(cloud->names(RecordFormats::deletedRecordType).size(), 3);
    EXPECT_EQ(b.settledAnnouncements() - announcedBefore, 4); // one per pulled tombstone, one for the pass

    // And the other way round.
    b.add(makeLink("from b"));
    b.sync();
    a.sync();
    EXPECT_EQ(a.titles(), (QStringList{"from b", "one", "two"}));
}

TEST_F(SyncPassTest, aResetClearsOtherMachinesOnceAndNotTheOneThatMadeIt)
{
    const LinkItem old = a.add(makeLink("old"));
    a.sync();
    b.sync();
    ASSERT_EQ(b.titles(), QStringList{"old"});

    a.eraseEverywhere();
    EXPECT_TRUE(cloud->names(RecordFormats::linkType).isEmpty());
    a.add(makeLink("after erase on a"));
    a.sync();
    EXPECT_EQ(a.titles(), QStringList{"after erase on a"}); // its own marker is acknowledged

    b.add(makeLink("made on b"));
    b.sync(); // wipes b first, so "old" and "made on b" never reach the cloud
    EXPECT_EQ(b.titles(), QStringList{"after erase on a"});
    EXPECT_FALSE(cloud->record(uuidString(old.id)));

    b.add(makeLink("later on b"));
    b.sync();
    EXPECT_EQ(b.titles(), (QStringList{"after erase on a", "later on b"}));

    // A second erase writes a new marker that b applies again.
    const LibraryReset first = *LibraryReset::loadAcknowledged(*b.defaults);
    const LibraryReset second = a.eraseEverywhere();
    EXPECT_NE(second.resetID, first.resetID);
    b.sync();
    EXPECT_TRUE(b.titles().isEmpty());
}

TEST_F(SyncPassTest, aFailureEndsThePassAndTheNextPassCompletes)
{
    for (const char* title : {"p", "q", "r", "s"})
        a.add(makeLink(title));
    cloud->fail(Operation::save, RecordFormats::linkType,
                CloudKitError(CloudKitError::serverRecordChanged, "Record changed"), 2);
    EXPECT_EQ(a.failedSync(), "Record changed");
    EXPECT_EQ(cloud->names(RecordFormats::linkType).size(), 2); // the two saved before it stay
    EXPECT_EQ(a.failedSync(), "");
    EXPECT_EQ(cloud->names(RecordFormats::linkType).size(), 4);

    // Another machine saves over a record between this pass's fetch and save: refused, then retried.
    LinkItem contested = *a.link(a.on([](SQLiteStore& s) { return s.reads().allLinks(); }).first().id);
    contested.title = "changed here";
    contested.updatedAt = contested.updatedAt.addSecs(1);
    a.on([contested](SQLiteStore& sqlite) { sqlite.merge().applyRemoteLink(contested); });
    bool interfered = false;
    cloud->beforeRequest = [&](Operation operation, const QString& typeOrName) {
        if (operation != Operation::save || typeOrName != RecordFormats::linkType || interfered)
            return;
        interfered = true;
        CloudRecord other = *cloud->record(uuidString(contested.id));
        other.set("notes", QString("from elsewhere"));
        cloud->put(other);
    };
    EXPECT_EQ(a.failedSync(), "Record changed since it was fetched");
    EXPECT_EQ(a.failedSync(), "");

    // A later copy saved elsewhere after the pass listed the records is not overwritten.
    contested.updatedAt = contested.updatedAt.addSecs(1);
    a.on([contested](SQLiteStore& sqlite) { sqlite.merge().applyRemoteLink(contested); });
    cloud->beforeRequest = [&, saved = false](Operation operation, const QString& name) mutable {
        if (operation != Operation::fetch || name != uuidString(contested.id) || std::exchange(saved, true))
            return;
        CloudRecord later = *cloud->record(name);
        later.set("title", QString("later elsewhere"));
        later.set("updatedAt", contested.updatedAt.addSecs(60));
        cloud->put(later);
    };
    EXPECT_EQ(a.failedSync(), "");
    EXPECT_EQ(cloud->record(uuidString(contested.id))->string("title"), "later elsewhere");
}

TEST_F(SyncPassTest, aPassLooksAtTheMarkerAgainBeforeItPushes)
{
    a.add(makeLink("on a"));
    a.sync();
    b.sync();
    b.add(makeLink("new on b"));
    // While b pulls, a erases everything.
    bool erased = false;
    cloud->beforeRequest = [&](Operation operation, const QString& type) {
        if (operation != Operation::query || type != RecordFormats::relationType ||
            std::exchange(erased, true))
            return;
        for (const QString& name : cloud->names(RecordFormats::linkType))
            cloud->remove(name);
        CloudRecord marker(RecordFormats::libraryResetType, RecordFormats::libraryResetName);
        RecordFormats::writeLibraryResetFields({QUuid::createUuid(), at("2020-01-01T00:00:00.000Z")}, marker);
        cloud->put(marker);
    };
    b.sync();
    ASSERT_TRUE(erased);
    EXPECT_TRUE(cloud->names(RecordFormats::linkType).isEmpty());
    EXPECT_TRUE(b.titles().isEmpty());
}

TEST_F(SyncPassTest, anAccountThatIsNotReadyStopsThePassBeforeAnyRequest)
{
    a.add(makeLink("kept"));
    cloud->account = RecordStore::AccountStatus::restricted;
    EXPECT_EQ(a.failedSync(), "The shared record folder is not ready: Error.");
    cloud->account = RecordStore::AccountStatus::noAccount;
    EXPECT_EQ(a.failedSync(), "The shared record folder is not ready: Not signed in.");
    EXPECT_THROW(await(a.service->eraseRemoteData()), SyncError);
    EXPECT_TRUE(cloud->log().isEmpty());
    EXPECT_EQ(a.titles(), QStringList{"kept"});
}

TEST_F(SyncPassTest, aStoreThatHasNeverSeenARecordTypeCountsAsEmpty)
{
    a.add(makeLink("first upload"));
    for (const QString& type : {RecordFormats::deletedRecordType, RecordFormats::linkType})
        cloud->fail(Operation::query, type, CloudKitError(CloudKitError::unknownItem, "unknown"));
    cloud->fail(Operation::query, RecordFormats::relationType,
                CloudKitError(CloudKitError::invalidArguments, "Did not find Record Type: LinkRelation"));
    EXPECT_EQ(a.failedSync(), "");
    EXPECT_EQ(cloud->names(RecordFormats::linkType).size(), 1);

    // Any other query error fails the pass.
    cloud->fail(Operation::query, RecordFormats::linkType,
                CloudKitError(CloudKitError::invalidArguments, "Field 'recordName' is not marked queryable"));
    EXPECT_EQ(a.failedSync(), "Field 'recordName' is not marked queryable");
}

TEST_F(SyncPassTest, aPassFindingWhatAnIdlePassLeftAsksNothingAndAnnouncesNothing)
{
    const LinkItem x = a.add(makeLink("x"));
    a.sync();
    a.sync(); // finds what the first left: proves there is nothing to do
    cloud->clearLog();
    const int announced = a.settledAnnouncements();
    a.sync();
    EXPECT_TRUE(cloud->log().isEmpty());
    EXPECT_EQ(a.settledAnnouncements(), announced);

    // Another machine's record and a change of the library are each seen by the next pass.
    const LinkItem y = b.add(makeLink("y"));
    b.sync();
    a.sync();
    EXPECT_EQ(a.titles(), (QStringList{"x", "y"}));
    a.sync();
    a.relate(x, y);
    a.sync();
    EXPECT_EQ(cloud->names(RecordFormats::relationType).size(), 1);
}

} // namespace
} // namespace morvane::test
