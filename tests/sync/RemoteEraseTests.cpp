#include "SyncTestSupport.h"

#include "sync/RecordFormats.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

class RemoteEraseTest : public SharedCloudTest {
protected:
    QStringList removals() const { return cloud->log().filter(QRegularExpression("^remove ")); }
};

TEST_F(RemoteEraseTest, emptiesTheStoreAndLeavesAMarker)
{
    const LinkItem x = a.add(makeLink("x"));
    const LinkItem y = a.add(makeLink("y"));
    a.relate(x, y);
    const LinkItem gone = a.add(makeLink("gone"));
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().deleteLink(gone.id); });
    a.sync();
    // A record the readers refuse is deleted all the same.
    cloud->put(CloudRecord(RecordFormats::linkType, "not-a-uuid"));

    a.clock->setNow(at("2025-01-02T03:04:05.678Z"));
    const LibraryReset reset = await(a.service->eraseRemoteData());
    EXPECT_TRUE(cloud->names(RecordFormats::linkType).isEmpty());
    EXPECT_TRUE(cloud->names(RecordFormats::relationType).isEmpty());
    EXPECT_TRUE(cloud->names(RecordFormats::deletedRecordType).isEmpty());
    EXPECT_EQ(RecordFormats::libraryReset(*cloud->record(RecordFormats::libraryResetName)), reset);
    EXPECT_EQ(reset.resetAt, at("2025-01-02T03:04:05.678Z"));
    EXPECT_TRUE(a.pauses.isEmpty());
    EXPECT_EQ(a.titles(), (QStringList{"x", "y"})); // the local library is the caller's to erase
}

TEST_F(RemoteEraseTest, anEmptyStoreIsCheckedOnceAndGetsTheFirstMarker)
{
    await(a.service->eraseRemoteData());
    EXPECT_TRUE(removals().isEmpty());
    EXPECT_EQ(cloud->log().count("query Link"), 2); // the deletion and one check
    EXPECT_TRUE(cloud->record(RecordFormats::libraryResetName));
}

TEST_F(RemoteEraseTest, aLinkThatKeepsComingBackIsDeletedOnTheLastCheckOrReported)
{
    // Another machine keeps pushing the same link while the erase checks.
    const LinkItem stubborn = a.add(makeLink("stubborn"));
    CloudRecord record(RecordFormats::linkType, uuidString(stubborn.id));
    RecordFormats::writeLinkFields(stubborn, record);
    cloud->beforeRequest = [&](Operation operation, const QString& type) {
        if (operation == Operation::query && type == RecordFormats::linkType &&
            !cloud->record(record.recordName()))
            cloud->put(record);
    };
    try {
        await(a.service->eraseRemoteData());
        FAIL() << "the erase reported success";
    } catch (const EraseRemoteDataError& error) {
        EXPECT_EQ(error.linkCount(), 1);
        EXPECT_EQ(error.relationCount(), 0);
    }
    EXPECT_EQ(a.pauses, QList<std::chrono::milliseconds>(5, std::chrono::milliseconds(500)));
    EXPECT_EQ(removals().size(), 2);                              // the first deletion and the last check's
    EXPECT_FALSE(cloud->record(RecordFormats::libraryResetName)); // no marker for a failed erase

    // Pushed once more during the deletion only: the last check deletes it and the erase completes.
    int pushes = 0;
    cloud->beforeRequest = [&](Operation operation, const QString& type) {
        if (operation == Operation::query && type == RecordFormats::linkType && pushes++ < 6)
            cloud->put(record);
    };
    a.pauses.clear();
    EXPECT_NO_THROW(await(a.service->eraseRemoteData()));
    EXPECT_EQ(a.pauses.size(), 5);
    EXPECT_TRUE(cloud->names(RecordFormats::linkType).isEmpty());
}

TEST_F(RemoteEraseTest, aFailureWritesNoMarker)
{
    a.add(makeLink("x"));
    a.sync();
    cloud->fail(Operation::remove, "", CloudKitError(CloudKitError::internalError, "disk full"));
    EXPECT_THROW(await(a.service->eraseRemoteData()), CloudKitError);
    EXPECT_FALSE(cloud->record(RecordFormats::libraryResetName));
}

} // namespace
} // namespace morvane::test
