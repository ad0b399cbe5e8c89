// Two machines sharing one record folder, each with its own library, settings and clock.
#include "SyncTestSupport.h"

#include "library/SQLiteConnection.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordFormats.h"

#include <QDir>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;

class FolderSyncTest : public ::testing::Test {
protected:
    FolderSyncTest() { QDir().mkpath(FolderRecordStore::defaultFolderPath()); }

    // Another machine's hand in the folder, request by request.
    static FolderRecordStore folder() { return FolderRecordStore(); }
    static void putDeletion(const QString& type, const QString& name)
    {
        CloudRecord record(RecordFormats::deletedRecordType,
                           RecordFormats::tombstoneRecordName({type, name, {}}));
        RecordFormats::writeDeletedRecordFields({type, name, at("2030-01-01T00:00:00.000Z")}, record);
        folder().save(record);
    }
    static QStringList names(const QString& type)
    {
        QStringList result;
        for (const CloudRecord& record : folder().query(type, 1000).records)
            result.append(record.recordName());
        return result;
    }
    // Every record file with its modification and change times (a replaced file has a new change time).
    static QMap<QString, std::pair<QDateTime, QDateTime>> fileStamps()
    {
        QMap<QString, std::pair<QDateTime, QDateTime>> stamps;
        for (const QFileInfo& file : QDir(FolderRecordStore::defaultFolderPath()).entryInfoList(QDir::Files))
            stamps.insert(file.fileName(),
                          {file.lastModified(), file.fileTime(QFileDevice::FileMetadataChangeTime)});
        return stamps;
    }

    Machine a{"a", std::make_shared<FolderRecordStore>()};
    Machine b{"b", std::make_shared<FolderRecordStore>()};
};

TEST_F(FolderSyncTest, aRelationRemovedAndMadeAgainEndsOnBothMachines)
{
    const LinkItem x = a.add(makeLink("x"));
    const LinkItem y = a.add(makeLink("y"));
    a.relate(x, y);
    a.sync();
    b.sync();
    a.clock->advance(1s);
    a.on([&](SQLiteStore& sqlite) { sqlite.removeRelation(x.id, y.id); });
    a.sync();
    b.sync();
    ASSERT_EQ(b.relationCount(), 0);

    a.clock->advance(1s);
    a.relate(x, y);
    for (int round = 0; round < 2; ++round) {
        a.sync();
        b.sync();
    }
    EXPECT_EQ(a.relationCount(), 1);
    EXPECT_EQ(b.relationCount(), 1);
    EXPECT_TRUE(names(RecordFormats::deletedRecordType).isEmpty());
}

TEST_F(FolderSyncTest, aJoiningMachineKeepsItsLibraryAndAnUpgradedOneStillErases)
{
    a.add(makeLink("before the erase"));
    a.sync();
    Machine upgraded{"upgraded", std::make_shared<FolderRecordStore>()};
    upgraded.add(makeLink("synced before the upgrade"));
    a.eraseEverywhere();

    b.add(makeLink("joining"));
    b.sync();
    a.sync();
    EXPECT_EQ(b.titles(), QStringList{"joining"});
    EXPECT_EQ(a.titles(), QStringList{"joining"});

    // It was syncing before this build: the erase it has not applied yet still empties it.
    LibraryReset::settleCompletedPass(*upgraded.defaults, true);
    upgraded.sync();
    EXPECT_EQ(upgraded.titles(), QStringList{"joining"});
}

TEST_F(FolderSyncTest, deletionsOfAnythingButALinkOrRelationByItsOwnNameArePassedOver)
{
    a.add(makeLink("x"));
    a.sync();
    b.sync();
    a.eraseEverywhere();
    putDeletion(RecordFormats::linkType, RecordFormats::libraryResetName);
    putDeletion(RecordFormats::relationType, RecordFormats::libraryResetName);
    a.on([](SQLiteStore& sqlite) {
        sqlite.upsertTombstone(RecordFormats::relationType, RecordFormats::libraryResetName,
                               at("2030-01-01T00:00:00.000Z"));
    });
    a.sync();
    ASSERT_TRUE(folder().fetch(RecordFormats::libraryResetName).fields().contains("resetID"));
    b.sync();
    EXPECT_TRUE(b.titles().isEmpty());
}

TEST_F(FolderSyncTest, anEraseFromAMachineWhoseClockIsBehindIsAppliedAndAnOldMarkerNeverTwice)
{
    a.add(makeLink("x"));
    a.sync();
    b.sync();
    a.clock->setNow(at("2030-01-01T00:00:00.000Z"));
    const LibraryReset fromA = a.eraseEverywhere();
    b.sync();
    b.add(makeLink("y"));
    b.sync();
    a.sync();
    ASSERT_EQ(a.titles(), QStringList{"y"});

    b.clock->setNow(at("2020-01-01T00:00:00.000Z"));
    b.eraseEverywhere();
    a.sync();
    EXPECT_TRUE(a.titles().isEmpty());

    // A file-sync program brings back a's old marker: nothing is erased twice.
    a.add(makeLink("z"));
    CloudRecord late = folder().fetch(RecordFormats::libraryResetName);
    RecordFormats::writeLibraryResetFields(fromA, late);
    folder().save(late);
    a.sync();
    b.sync();
    EXPECT_EQ(a.titles(), QStringList{"z"});
    EXPECT_EQ(b.titles(), QStringList{"z"});
}

TEST_F(FolderSyncTest, copiesThatDifferInPathsOrInTitlesEditedAtOneTimeSettle)
{
    LinkItem x = makeLink("x");
    x.lastKnownPath = "/home/a/x";
    x = a.add(x);
    a.sync();
    b.sync();
    SQLiteConnection::open(testHome() + "/b.sqlite")
        .execute("UPDATE links SET last_known_path = '/home/b/x'");
    const auto editTitle = [&](Machine& machine, const QString& title) {
        LinkItem edited = *machine.link(x.id);
        edited.title = title;
        edited.updatedAt = at("2024-06-01T00:00:00.000Z");
        machine.on([edited](SQLiteStore& sqlite) { sqlite.applyRemoteLink(edited, true); });
    };
    editTitle(a, "edited on a");
    editTitle(b, "edited on b");
    for (int round = 0; round < 2; ++round) {
        a.sync();
        b.sync();
    }
    EXPECT_EQ(a.titles(), QStringList{"edited on b"});
    EXPECT_EQ(b.titles(), QStringList{"edited on b"});
    EXPECT_EQ(b.link(x.id)->lastKnownPath, "/home/b/x");

    const auto before = fileStamps();
    for (int round = 0; round < 2; ++round) {
        a.sync();
        b.sync();
    }
    EXPECT_EQ(fileStamps(), before);

    QDir(FolderRecordStore::defaultFolderPath()).removeRecursively();
    EXPECT_EQ(await(a.service->accountStatus()), SyncStatus::notSignedIn);
    EXPECT_EQ(a.failedSync(), "The shared record folder is not ready: Not signed in.");
}

TEST_F(FolderSyncTest, theEraseDeletesRecordsByTheNamesTheyAreListedUnder)
{
    const LinkItem x = a.add(makeLink("x"));
    const LinkItem y = a.add(makeLink("y"));
    a.relate(x, y);
    a.sync();
    CloudRecord misnamed(RecordFormats::relationType,
                         uuidString(x.id) + "_" + uuidString(QUuid::createUuid()));
    RecordFormats::writeRelationFields({QUuid::createUuid(), x.id, y.id, x.createdAt}, misnamed);
    folder().save(misnamed);
    folder().save(CloudRecord(RecordFormats::linkType, "not-a-uuid"));

    a.eraseEverywhere();
    EXPECT_TRUE(names(RecordFormats::linkType).isEmpty());
    EXPECT_TRUE(names(RecordFormats::relationType).isEmpty());
}

// The folder store with a hook before each listing, to act as another machine at that moment.
class HookedFolder final : public RecordStore {
public:
    FolderRecordStore folder;
    std::function<void(const QString& recordType)> beforeQuery;

    AccountStatus accountStatus() override { return folder.accountStatus(); }
    CloudRecord fetch(const QString& name) override { return folder.fetch(name); }
    CloudRecord save(const CloudRecord& record) override { return folder.save(record); }
    void remove(const QString& name) override { folder.remove(name); }
    Page query(const QString& type, int limit) override
    {
        if (beforeQuery)
            beforeQuery(type);
        return folder.query(type, limit);
    }
    Page query(const Cursor& cursor, int limit) override { return folder.query(cursor, limit); }
    std::optional<QByteArray> changeToken() override { return folder.changeToken(); }
};

// The folder store keeps what it read of each file: the erase marker that another machine writes
// while this one pulls is read from the file again before anything is pushed.
TEST_F(FolderSyncTest, aPassLooksAtTheMarkerFileAgainBeforeItPushes)
{
    auto hooked = std::make_shared<HookedFolder>();
    Machine c{"c", hooked};
    a.add(makeLink("on a"));
    a.sync();
    c.sync();
    c.add(makeLink("new on c"));
    bool erased = false;
    hooked->beforeQuery = [&](const QString& type) {
        if (type != RecordFormats::relationType || std::exchange(erased, true))
            return;
        for (const QString& name : names(RecordFormats::linkType))
            folder().remove(name);
        CloudRecord marker(RecordFormats::libraryResetType, RecordFormats::libraryResetName);
        RecordFormats::writeLibraryResetFields({QUuid::createUuid(), at("2020-01-01T00:00:00.000Z")}, marker);
        folder().save(marker);
    };
    c.sync();
    hooked->beforeQuery = {};
    ASSERT_TRUE(erased);
    EXPECT_TRUE(names(RecordFormats::linkType).isEmpty());
    EXPECT_TRUE(c.titles().isEmpty());
}

} // namespace
} // namespace morvane::test
