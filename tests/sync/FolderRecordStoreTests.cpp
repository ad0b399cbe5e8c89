#include "SyncTestSupport.h"

#include "sync/CloudKitSyncService.h"
#include "sync/FolderRecordStore.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>

namespace morvane::test {
namespace {

class FolderRecordStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(FolderRecordStore::defaultFolderPath())); }

    static CloudRecord record(const QString& type, const QString& name, const QString& title = "x")
    {
        CloudRecord r(type, name);
        r.set("title", title);
        return r;
    }
    static QStringList files() { return QDir(FolderRecordStore::defaultFolderPath()).entryList(QDir::Files); }

    int errorCode(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const CloudKitError& error) {
            return error.code();
        }
        return 0;
    }

    FolderRecordStore store;
};

TEST(FolderRecordStoreAccount, anAbsentFolderIsNobodySignedIn)
{
    FolderRecordStore store;
    EXPECT_EQ(store.accountStatus(), RecordStore::AccountStatus::noAccount);
    EXPECT_THROW(store.query("Link", 10), CloudKitError);
    EXPECT_THROW(store.save(CloudRecord("Link", "A")), CloudKitError);
    EXPECT_FALSE(QFileInfo::exists(FolderRecordStore::defaultFolderPath())); // nothing made it

    // A link into a shared folder is an account; a plain file in its place is not one.
    const QString shared = testHome() + "/Shared/Records";
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(store.folderPath()).path()));
    ASSERT_TRUE(QFile::link(shared, store.folderPath()));
    EXPECT_EQ(store.accountStatus(), RecordStore::AccountStatus::available);
    store.save(CloudRecord("Link", "A"));
    EXPECT_EQ(QDir(shared).entryList(QDir::Files).size(), 1);

    FolderRecordStore onAFile(shared + "/A.record");
    EXPECT_EQ(onAFile.accountStatus(), RecordStore::AccountStatus::couldNotDetermine);
}

TEST_F(FolderRecordStoreTest, everyValueTypeSurvivesTheFile)
{
    CloudRecord r("Link", "0C5E3F4A-1B2C-4D5E-8F90-A1B2C3D4E5F6");
    r.set("title", QString("Ünïcode “quoted” \\ /"));
    r.set("createdAt", at("2024-05-01T09:30:12.345Z"));
    r.set("fileSize", qint64(-9'000'000'000'000'000'000));
    r.set("ratio", 0.25);
    r.set("tags", QStringList{"a", "", "b c"});
    const CloudRecord saved = store.save(r);
    const CloudRecord read = FolderRecordStore().fetch(r.recordName());
    EXPECT_TRUE(read.sameContent(r));
    EXPECT_EQ(read.changeTag(), saved.changeTag());
    EXPECT_FALSE(saved.changeTag().isEmpty());
}

TEST_F(FolderRecordStoreTest, changeTagsRefuseAStaleSaveAndAnUnchangedSaveWritesNothing)
{
    const CloudRecord first = store.save(record("Link", "A", "one"));
    EXPECT_EQ(errorCode([&] { store.save(record("Link", "A", "new")); }), CloudKitError::serverRecordChanged);

    CloudRecord fetched = store.fetch("A");
    const QString path = store.folderPath() + "/A.record";
    const QDateTime written = QFileInfo(path).lastModified();
    const ino_t before = entryStat(path).st_ino;
    EXPECT_EQ(store.save(fetched).changeTag(), first.changeTag());
    EXPECT_EQ(entryStat(path).st_ino, before);
    EXPECT_EQ(QFileInfo(path).lastModified(), written);

    fetched.set("title", QString("two"));
    const CloudRecord second = store.save(fetched);
    EXPECT_NE(second.changeTag(), first.changeTag());
    EXPECT_NE(entryStat(path).st_ino, before); // replaced whole, through a rename
    EXPECT_EQ(files(), QStringList{"A.record"});
    // The copy fetched before the change is stale now.
    EXPECT_EQ(errorCode([&] { store.save(store.fetch("A")); }), 0);
    fetched.set("title", QString("three"));
    EXPECT_EQ(errorCode([&] { store.save(fetched); }), CloudKitError::serverRecordChanged);
}

TEST_F(FolderRecordStoreTest, missingRecordsAreUnknownItems)
{
    EXPECT_EQ(errorCode([&] { store.fetch("A"); }), CloudKitError::unknownItem);
    EXPECT_EQ(errorCode([&] { store.remove("A"); }), CloudKitError::unknownItem);
    store.save(record("Link", "A"));
    store.remove("A");
    EXPECT_EQ(errorCode([&] { store.fetch("A"); }), CloudKitError::unknownItem);
}

TEST_F(FolderRecordStoreTest, namesNeverLeaveTheFolder)
{
    for (const QString name : {"../escape", ".hidden", "a/b", "Link_x:y"})
        store.save(record("DeletedRecord", name));
    EXPECT_EQ(files().size(), 4);
    for (const QString& file : files())
        EXPECT_FALSE(file.startsWith('.')) << file.toStdString();
    EXPECT_EQ(store.fetch("../escape").recordName(), "../escape");
    EXPECT_FALSE(QFileInfo::exists(store.folderPath() + "/../escape.record"));
}

TEST_F(FolderRecordStoreTest, queriesPageThroughOneTypeInNameOrderAndPassOverForeignFiles)
{
    QStringList expected;
    for (int i = 0; i < 250; ++i) {
        const QString name = QStringLiteral("L%1").arg(i, 3, 10, QChar('0'));
        store.save(record(i % 5 == 0 ? "LinkRelation" : "Link", name));
        if (i % 5 != 0)
            expected.append(name);
    }
    // A conflict copy of a file-sync service, a garbled file and a record under the wrong file name.
    QFile::copy(store.folderPath() + "/L001.record", store.folderPath() + "/L001 (conflict).record");
    writeFile(store.folderPath() + "/L002.record", "{\"recordType\": \"Link\"");
    QFile::copy(store.folderPath() + "/L003.record", store.folderPath() + "/L999.record");
    expected.removeOne("L002");

    QStringList seen;
    RecordStore::Page page = store.query("Link", 64);
    int pages = 1;
    for (;; ++pages) {
        for (const CloudRecord& r : page.records)
            seen.append(r.recordName());
        if (!page.cursor)
            break;
        page = store.query(*page.cursor, 64);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(pages, 4);
    EXPECT_TRUE(store.query("LibraryReset", 64).records.isEmpty());
}

// A file-sync service may put a peer's record in place with the modification time it had on the peer,
// so an old time proves nothing: what this machine read before must not hide the peer's change.
TEST_F(FolderRecordStoreTest, aPeersChangeIsSeenThoughItsFileKeptAnOldTime)
{
    FolderRecordStore peer(store.folderPath());
    const auto ageEverything = [&] {
        const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        for (const QString& name : files() + QStringList{"."})
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(store.folderPath() + "/" + name).constData(),
                                  hourAgo, 0),
                      0);
    };
    const CloudRecord one = store.save(record("Link", "one", "first"));
    store.save(record("Link", "two", "first"));
    ageEverything();
    ASSERT_EQ(store.query("Link", 10).records.size(), 2); // read, and now known
    ASSERT_EQ(store.fetch("one").string("title"), "first");

    CloudRecord changed = peer.fetch("one");
    changed.set("title", "second");
    peer.save(changed);
    peer.save(record("Link", "three"));
    peer.remove("two");
    ageEverything();

    EXPECT_EQ(store.fetch("one").string("title"), "second");
    EXPECT_EQ(errorCode([&] { store.save(one); }), CloudKitError::serverRecordChanged);
    QStringList names;
    for (const CloudRecord& r : store.query("Link", 10).records)
        names.append(r.recordName());
    EXPECT_EQ(names, (QStringList{"one", "three"}));

    // Rewritten in place, same inode, a longer title.
    const QString path = store.folderPath() + "/one.record";
    writeFile(path, contents(path).replace("second", "second, longer"));
    ageEverything();
    EXPECT_EQ(store.fetch("one").string("title"), "second, longer");
}

// The changes answered after an earlier answer are the files whose stamps moved since, and the files
// too fresh to trust; a file whose stamp stands is neither read nor answered.
TEST_F(FolderRecordStoreTest, changesAreTheFilesWhoseStampsMovedOrAreTooFreshToTrust)
{
    FolderRecordStore peer(store.folderPath());
    const auto age = [&](const QStringList& names) {
        const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        for (const QString& name : names)
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(store.folderPath() + "/" + name).constData(),
                                  hourAgo, 0),
                      0);
    };
    const auto namesOf = [](const RecordStore::Changes& changes) {
        QStringList names;
        for (const CloudRecord& r : changes.records)
            names.append(r.recordName());
        return names;
    };
    for (const char* name : {"one", "two", "three"})
        peer.save(record("Link", name));
    age(files());
    RecordStore::Changes changes = store.changesSince({});
    EXPECT_TRUE(changes.complete);
    EXPECT_EQ(namesOf(changes), (QStringList{"one", "three", "two"}));
    changes = store.changesSince(changes.since);
    EXPECT_FALSE(changes.complete);
    EXPECT_TRUE(changes.records.isEmpty() && changes.removed.isEmpty());

    // A file rewritten in place with its old time: unreadable now, yet its stamp moved, so it is read.
    const QString twoPath = store.folderPath() + "/two.record";
    writeFile(twoPath, "not a record");
    age({"two.record"});
    CloudRecord one = peer.fetch("one");
    one.set("title", "changed");
    peer.save(one);
    peer.save(record("Link", "four"));
    peer.remove("three");
    changes = store.changesSince(changes.since);
    EXPECT_EQ(namesOf(changes), (QStringList{"four", "one"}));
    EXPECT_EQ(changes.records.constLast().string("title"), "changed");
    EXPECT_EQ(changes.removed, (QStringList{"two", "three"}));

    // Fresh files are answered until their time is old enough to trust; an unknown point starts over.
    changes = store.changesSince(changes.since);
    EXPECT_EQ(namesOf(changes), (QStringList{"four", "one"}));
    age({"four.record", "one.record"});
    changes = store.changesSince(changes.since);
    EXPECT_EQ(namesOf(changes), (QStringList{"four", "one"})); // their stamps moved once more
    EXPECT_TRUE(store.changesSince(changes.since).records.isEmpty());
    EXPECT_TRUE(store.changesSince("elsewhere").complete);
}

// A complete answer streamed to a sink is decoded beside the reading of the files: it must give the records
// and versions the held answer gives, in its order, whatever the files hold, and a sink that fails ends it.
TEST_F(FolderRecordStoreTest, aStreamedCompleteAnswerIsTheHeldAnswerAndEndsWithItsSinksError)
{
    struct Taken {
        QString name, type;
        std::optional<QString> title;
        QByteArray version;
        bool operator==(const Taken&) const = default;
    };
    struct Sink final : RecordStore::RecordSink {
        QList<Taken> taken;
        qsizetype failAt = -1;
        bool complete = false;
        void answering(bool isComplete) override { complete = isComplete; }
        void take(CloudRecord record, QByteArray version) override
        {
            if (taken.size() == failAt)
                throw CloudKitError(CloudKitError::internalError, "the sink is full");
            taken.append({record.recordName(), record.recordType(), record.string("title"), version});
        }
    };
    // Enough files for many batches of the decoding, among them files the answer leaves out.
    for (int i = 0; i < 700; ++i) {
        const QString id = QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QChar(u'0')))
                               .toString(QUuid::WithoutBraces)
                               .toUpper();
        store.save(record(i % 3 ? "Link" : "LinkRelation", i % 3 ? id : id + "_" + id, QString::number(i)));
    }
    const QString folder = store.folderPath();
    writeFile(folder + "/broken.record", "{\"not\": \"a record\"");
    QFile::copy(folder + "/" + files().constFirst(), folder + "/elsewhere.record"); // not its own name
    store.save(record("Tombstone", "DeletedRecord_Link_X"));
    // Old enough to trust, so that each has a version and what is read of it is kept.
    const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const QString& name : files())
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder + "/" + name).constData(), hourAgo, 0), 0);

    FolderRecordStore heldStore(folder);
    const RecordStore::Changes held = heldStore.changesSince({});
    QList<Taken> expected;
    for (qsizetype i = 0; i < held.records.size(); ++i) {
        const CloudRecord& r = held.records.at(i);
        expected.append({r.recordName(), r.recordType(), r.string("title"), held.versions.at(i)});
    }
    ASSERT_EQ(expected.size(), 701);
    ASSERT_FALSE(expected.constFirst().version.isEmpty());

    FolderRecordStore streamedStore(folder);
    Sink sink;
    const RecordStore::Changes streamed = streamedStore.streamChangesSince({}, sink);
    EXPECT_TRUE(sink.complete && streamed.complete);
    EXPECT_TRUE(streamed.records.isEmpty());
    EXPECT_EQ(sink.taken, expected);
    // Streamed by a store that kept what it read of the last files, the same.
    Sink again;
    heldStore.streamChangesSince({}, again);
    EXPECT_EQ(again.taken, expected);

    Sink failing;
    failing.failAt = 300;
    EXPECT_EQ(errorCode([&] { FolderRecordStore(folder).streamChangesSince({}, failing); }),
              CloudKitError::internalError);
    EXPECT_EQ(failing.taken, expected.mid(0, 300));
}

// A save over a link or a FIFO replaces the entry itself, never what a link points to; a delete removes
// a link, not its target; a folder is neither replaced nor removed.
TEST_F(FolderRecordStoreTest, savesReplaceEntriesThatAreNotFilesNeverWhatALinkPointsTo)
{
    const QString precious = testHome() + "/precious.txt";
    writeFile(precious, "mine");
    const QString folder = store.folderPath();
    ASSERT_TRUE(QFile::link(precious, folder + "/L.record") && QFile::link(precious, folder + "/M.record"));
    ASSERT_TRUE(makeFifo(folder + "/F.record"));
    ASSERT_TRUE(QDir().mkpath(folder + "/D.record"));
    EXPECT_EQ(errorCode([&] { store.fetch("L"); }), CloudKitError::serverRejectedRequest);
    store.save(record("Link", "L", "new"));
    store.save(record("Link", "F", "new"));
    store.remove("M");
    EXPECT_EQ(errorCode([&] { store.save(record("Link", "D")); }), CloudKitError::serverRejectedRequest);
    EXPECT_EQ(errorCode([&] { store.remove("D"); }), CloudKitError::serverRejectedRequest);
    EXPECT_EQ(QFile(precious).size(), 4);
    EXPECT_EQ(files(), (QStringList{"F.record", "L.record"})); // regular files now, no temporary left
    EXPECT_EQ(store.fetch("L").string("title"), "new");
}

// The record folder may be a link, pointed elsewhere while the store lives: the store follows it.
TEST(FolderRecordStoreAccount, aFolderLinkPointedElsewhereIsFollowed)
{
    ASSERT_TRUE(QDir().mkpath(testHome() + "/first") && QDir().mkpath(testHome() + "/second"));
    FolderRecordStore(testHome() + "/first").save(CloudRecord("Link", "A"));
    const QString folder = testHome() + "/CloudRecords";
    ASSERT_TRUE(QFile::link(testHome() + "/first", folder));
    FolderRecordStore store(folder);
    EXPECT_EQ(store.query("Link", 10).records.size(), 1);
    ASSERT_TRUE(QFile::remove(folder) && QFile::link(testHome() + "/second", folder));
    EXPECT_TRUE(store.query("Link", 10).records.isEmpty());
    store.save(CloudRecord("Link", "B"));
    EXPECT_TRUE(QFileInfo::exists(testHome() + "/second/B.record"));
}

} // namespace
} // namespace morvane::test
