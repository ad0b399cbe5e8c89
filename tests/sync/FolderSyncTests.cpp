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

    // What an older build keeps after its passes: only the acknowledged marker, when it met one.
    static void upgrade(Machine& machine)
    {
        machine.defaults->remove(LibraryReset::completedPassKey);
        machine.defaults->remove(LibraryReset::appliedIDsKey);
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
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(x.id, y.id); });
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

// Machines whose sync was switched on in their settings while they were stopped: whether each one
// completed a pass before is not kept, so only what its earlier passes left behind tells.
TEST_F(FolderSyncTest, aMachineJoiningAfterAnEraseKeepsItsLibrary)
{
    a.add(makeLink("before the erase"));
    a.sync();
    b.sync();
    a.eraseEverywhere();

    Machine fresh{"fresh", std::make_shared<FolderRecordStore>()};
    fresh.add(makeLink("fresh machine's own"));
    fresh.sync();
    EXPECT_EQ(fresh.titles(), QStringList{"fresh machine's own"});
    Machine empty{"empty", std::make_shared<FolderRecordStore>()};
    empty.sync();
    EXPECT_EQ(empty.titles(), QStringList{"fresh machine's own"});
    for (Machine* machine : {&fresh, &empty}) {
        EXPECT_EQ(LibraryReset::completedPass(*machine->defaults), true);
        machine->sync(); // the marker is not applied later either
        EXPECT_EQ(machine->titles(), QStringList{"fresh machine's own"});
    }
    // b completed a pass before the erase: it still empties, then takes what joined.
    b.sync();
    EXPECT_EQ(b.titles(), QStringList{"fresh machine's own"});
}

TEST_F(FolderSyncTest, anUpgradedMachineThatAcknowledgedAMarkerAppliesTheNextOne)
{
    Machine acknowledged{"acknowledged", std::make_shared<FolderRecordStore>()};
    a.add(makeLink("first"));
    a.sync();
    acknowledged.sync();
    a.eraseEverywhere();
    acknowledged.sync();
    acknowledged.add(makeLink("after the first erase"));
    acknowledged.sync();
    upgrade(acknowledged);
    a.sync();
    a.eraseEverywhere();
    acknowledged.sync();
    EXPECT_TRUE(acknowledged.titles().isEmpty());
}

TEST_F(FolderSyncTest, anUpgradedMachineWithItsRecordsInTheStoreAppliesAMarkerAndOneWithoutKeepsItsLibrary)
{
    b.add(makeLink("b's synced"));
    b.sync();
    upgrade(b);
    b.add(makeLink("b's since"));
    Machine never{"never", std::make_shared<FolderRecordStore>()};
    never.add(makeLink("never synced"));
    // An erase's marker, arrived before its deletions (a file-sync program copies them in any order).
    CloudRecord marker(RecordFormats::libraryResetType, RecordFormats::libraryResetName);
    RecordFormats::writeLibraryResetFields({QUuid::createUuid(), at("2031-01-01T00:00:00.000Z")}, marker);
    folder().save(marker);

    never.sync();
    b.sync();
    EXPECT_EQ(never.titles(), (QStringList{"b's synced", "never synced"}));
    EXPECT_EQ(b.titles(), (QStringList{"b's synced", "never synced"})); // "b's since" went with the erase
    EXPECT_EQ(LibraryReset::completedPass(*never.defaults), true);
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
        sqlite.writes().upsertTombstone(RecordFormats::relationType, RecordFormats::libraryResetName,
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
        machine.on([edited](SQLiteStore& sqlite) { sqlite.merge().applyRemoteLink(edited, true); });
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
