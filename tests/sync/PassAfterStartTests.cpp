// The first pass after a start, through the record folder: it starts from where the library says the
// last completed pass left off, and reads only the record files that changed since.
#include "SyncTestSupport.h"

#include "library/SQLiteConnection.h"
#include "sync/FolderRecordStore.h"
#include "sync/KeptRecords.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFileStamp.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;

QString recordFolder()
{
    return FolderRecordStore::defaultFolderPath();
}

// The record files opened in the folder while it lives, seen from outside the process's own code.
class OpenedFiles {
public:
    OpenedFiles()
        : m_handle(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(m_handle, QFile::encodeName(recordFolder()).constData(), IN_OPEN);
    }
    ~OpenedFiles() { ::close(m_handle); }
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;

    // The record files opened so far, sorted, once each; the folder's own opens are left out.
    QStringList take()
    {
        QStringList names;
        alignas(struct inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = ::read(m_handle, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                if (event->len > 0 && !(event->mask & IN_ISDIR))
                    names.append(QFile::decodeName(event->name));
                at += ssize_t(sizeof(struct inotify_event) + event->len);
            }
        }
        names.sort();
        names.removeDuplicates();
        return names;
    }

private:
    int m_handle;
};

class PassAfterStartTest : public ::testing::Test {
protected:
    PassAfterStartTest() { QDir().mkpath(recordFolder()); }

    static QStringList recordFiles() { return QDir(recordFolder()).entryList(QDir::Files, QDir::Name); }

    // The folder store does not trust a file written a moment ago to keep its stamp: these files are
    // dated as if written an hour before.
    static void age(const QStringList& files)
    {
        struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        for (const QString& file : files)
            ::utimensat(AT_FDCWD, QFile::encodeName(recordFolder() + "/" + file).constData(), times, 0);
    }
    // Synced and aged, so that the pass after that reads every file once and keeps settled stamps.
    static void settle(Machine& machine)
    {
        machine.sync();
        age(recordFiles());
        machine.sync();
    }
    // What a quit and a start leave: the same library and settings, nothing in memory.
    static void restart(Machine& machine, const QString& name)
    {
        machine.store.reset();
        machine.store = std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + "/" + name + ".sqlite"),
                                                    makeIdentityService(), machine.clock);
        machine.service = std::make_shared<RecordStoreSyncService>(
            std::make_shared<FolderRecordStore>(), machine.defaults, machine.clock,
            [](std::chrono::milliseconds) { return noPause(); });
    }
    // A start after which the first pass is a whole pass: the library keeps no point to start from.
    static void restartWithoutPoint(Machine& machine, const QString& name)
    {
        restart(machine, name);
        machine.on([](SQLiteStore& sqlite) { sqlite.syncPoint().forget(); });
    }
    // Three links, the second related to the first and to the third, synced and settled.
    static std::array<LinkItem, 3> relatedThree(Machine& machine)
    {
        const std::array<LinkItem, 3> links{machine.add(makeLink("x")), machine.add(makeLink("y")),
                                            machine.add(makeLink("z"))};
        machine.relate(links[0], links[1]);
        machine.relate(links[1], links[2]);
        settle(machine);
        return links;
    }
    static QString fileOf(const QString& recordName) { return recordName + ".record"; }
    // An edit of the title an hour after the machine's last one.
    static void edit(Machine& machine, const QUuid& id, const QString& title)
    {
        machine.clock->advance(1h);
        LinkItem edited = *machine.link(id);
        edited.title = title;
        edited.updatedAt = machine.clock->now();
        machine.on([edited](SQLiteStore& sqlite) { sqlite.merge().applyRemoteLink(edited, true); });
    }

    Machine a{"a", std::make_shared<FolderRecordStore>()};
    Machine b{"b", std::make_shared<FolderRecordStore>()};
};

TEST_F(PassAfterStartTest, readsOnlyTheFilesChangedSinceTheLastPass)
{
    QList<LinkItem> links;
    for (int i = 0; i < 5; ++i)
        links.append(a.add(makeLink(QStringLiteral("link %1").arg(i))));
    a.relate(links[0], links[1]);
    settle(a);
    b.sync();
    ASSERT_EQ(recordFiles().size(), 6);

    // Nothing changed on either side: no record file is opened, and nothing is written.
    restart(a, "a");
    {
        OpenedFiles opened;
        a.sync();
        EXPECT_EQ(opened.take(), QStringList());
    }

    // Another machine's edit of a title: only its file is read, and the title arrives.
    edit(b, links[2].id, "edited on b");
    b.sync();
    age({fileOf(uuidString(links[2].id))});
    restart(a, "a");
    {
        OpenedFiles opened;
        a.sync();
        EXPECT_EQ(opened.take(), QStringList{fileOf(uuidString(links[2].id))});
    }
    EXPECT_EQ(a.link(links[2].id)->title, "edited on b");

    // The pass after, in the same run, finds nothing to read.
    OpenedFiles opened;
    a.sync();
    EXPECT_EQ(opened.take(), QStringList());
}

// A whole pass (no point kept, every file settled) keeps for each record what the next start decides
// by: that start reads no file.
TEST_F(PassAfterStartTest, aWholePassKeepsWhatTheNextStartStartsFrom)
{
    const auto [x, y, z] = relatedThree(a);
    a.clock->advance(1h);
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(x.id, y.id); });
    settle(a);

    restartWithoutPoint(a, "a");
    {
        OpenedFiles opened;
        a.sync();
        EXPECT_EQ(opened.take().filter(QRegularExpression("\\.record$")), recordFiles());
    }
    restart(a, "a");
    OpenedFiles opened;
    a.sync();
    EXPECT_EQ(opened.take(), QStringList());
    EXPECT_EQ(a.relationCount(), 1);
}

// A whole pass keeps each record that reads under its very name, with its file's stamp as its version
// and what the pass keeps of it: names that are ids or pairs of them as records write them, the same in
// lower case, and names of no such shape alike; a record of no type a pass reads is not kept.
TEST_F(PassAfterStartTest, aWholePassKeepsEachRecordUnderItsOwnNameWithItsStampAndWhatItKeeps)
{
    const auto [x, y, z] = relatedThree(a);

    // Copies under other names, as another program may write them, a link record with no fields, the
    // deletion of a link never seen here and a record of a type no pass reads.
    FolderRecordStore folder;
    const auto copy = [&folder](const QString& from, const QString& name) {
        const CloudRecord record = folder.fetch(from);
        CloudRecord renamed(record.recordType(), name);
        for (auto field = record.fields().cbegin(); field != record.fields().cend(); ++field)
            renamed.set(field.key(), field.value());
        folder.save(renamed);
    };
    const QString pair = LinkRelation::recordName(y.id, z.id);
    copy(uuidString(z.id), uuidString(z.id).toLower());
    copy(pair, uuidString(y.id) + "_" + uuidString(z.id).toLower());
    copy(pair, uuidString(y.id) + "-" + uuidString(z.id));
    copy(uuidString(x.id), QString::fromUtf8("über uns"));
    copy(uuidString(x.id), "Link_x:y/z");
    folder.save(CloudRecord(RecordFormats::linkType, uuidString(QUuid::createUuid())));
    folder.save(CloudRecord("Note", "a note"));
    const DeletedRecord gone{RecordFormats::linkType, uuidString(QUuid::createUuid()), a.clock->now()};
    CloudRecord deletion(RecordFormats::deletedRecordType, RecordFormats::tombstoneRecordName(gone));
    RecordFormats::writeDeletedRecordFields(gone, deletion);
    folder.save(deletion);
    age(recordFiles());

    QMap<QString, LibrarySyncPoint::Record> expected;
    for (const QString& file : recordFiles()) {
        const QString name = *RecordFileCodec::recordNameOf(file);
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(recordFolder() + "/" + file).constData(), &info), 0);
        if (const std::optional<RemoteRecord> decoded = RemoteRecord::decode(folder.fetch(name)))
            expected.insert(name,
                            {name, RecordFileStamp::of(info).bytes(), KeptRecord::of(*decoded).toBytes()});
    }
    ASSERT_EQ(expected.size(), recordFiles().size() - 1);

    restartWithoutPoint(a, "a");
    a.sync();
    const QList<LibrarySyncPoint::Record> kept =
        a.on([](SQLiteStore& sqlite) { return sqlite.syncPoint().records(); });
    // A relation's record carries no id of the relation: each read makes one.
    const auto withoutRelationID = [](const QByteArray& bytes) {
        std::optional<KeptRecord> read = KeptRecord::fromBytes(bytes);
        if (!read)
            return QByteArray();
        if (auto* relation = std::get_if<LinkRelation>(&read->value))
            relation->id = QUuid();
        return read->toBytes();
    };
    ASSERT_EQ(kept.size(), expected.size());
    for (const LibrarySyncPoint::Record& record : kept) {
        SCOPED_TRACE(record.name.toStdString());
        ASSERT_TRUE(expected.contains(record.name));
        EXPECT_EQ(record.version, expected[record.name].version);
        EXPECT_EQ(withoutRelationID(record.kept), withoutRelationID(expected[record.name].kept));
        EXPECT_FALSE(withoutRelationID(record.kept).isEmpty());
    }
}

// A whole pass passes over the relations this library already holds, unless a deletion of the pair is
// about: a folder holding a pair's deletion and the pair related again after it (two machines that
// crossed) takes the library's older relation away and brings the later one back.
TEST_F(PassAfterStartTest, aWholePassBringsBackAPairRelatedAgainAfterItsDeletion)
{
    const LinkItem x = a.add(makeLink("x"));
    const LinkItem y = a.add(makeLink("y"));
    a.relate(x, y);
    settle(a);
    const QString name = LinkRelation::recordName(x.id, y.id);
    const QDateTime related =
        a.on([](SQLiteStore& sqlite) { return sqlite.reads().allRelations(); }).constFirst().createdAt;

    FolderRecordStore folder;
    CloudRecord deletion(RecordFormats::deletedRecordType,
                         RecordFormats::tombstoneRecordName({"LinkRelation", name, related.addSecs(60)}));
    RecordFormats::writeDeletedRecordFields({"LinkRelation", name, related.addSecs(60)}, deletion);
    folder.save(deletion);
    CloudRecord again = folder.fetch(name);
    again.set(QStringLiteral("createdAt"), related.addSecs(120));
    folder.save(again);
    age(recordFiles());

    restartWithoutPoint(a, "a");
    a.sync();
    const QList<LinkRelation> relations =
        a.on([](SQLiteStore& sqlite) { return sqlite.reads().allRelations(); });
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations.constFirst().createdAt, related.addSecs(120));
    EXPECT_FALSE(
        a.on([&](SQLiteStore& sqlite) { return sqlite.reads().isTombstoned("LinkRelation", name); }));
}

TEST_F(PassAfterStartTest, aLibraryChangedSinceTheLastPassGetsAWholePass)
{
    const LinkItem x = a.add(makeLink("x"));
    a.add(makeLink("y"));
    settle(a);

    // An older build, or another program, writes to the library while this one is stopped: its
    // triggers note the change, but nothing tells what it read or wrote of the record folder.
    restart(a, "a");
    a.store.reset();
    {
        SQLiteConnection other = SQLiteConnection::open(testHome() + "/a.sqlite");
        other.execute("UPDATE links SET notes = 'from an older build' WHERE id = ?1", {uuidString(x.id)});
    }
    restart(a, "a");
    OpenedFiles opened;
    a.sync();
    EXPECT_EQ(opened.take().filter(QRegularExpression("\\.record$")), recordFiles());
    EXPECT_EQ(a.link(x.id)->notes, "from an older build");
}

TEST_F(PassAfterStartTest, whatIsKeptOfARecordDecidesAfterAStart)
{
    const auto [x, y, z] = relatedThree(a);
    b.sync();

    // b removes a relation: its deletion comes, the relation's file goes, and a drops the relation
    // found by what it kept of the record.
    b.clock->advance(1h);
    b.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(x.id, y.id); });
    b.sync();
    const QString deletion = fileOf(RecordFormats::tombstoneRecordName(
        DeletedRecord{RecordFormats::relationType, LinkRelation::recordName(x.id, y.id), {}}));
    age({deletion});
    restart(a, "a");
    {
        OpenedFiles opened;
        a.sync();
        EXPECT_EQ(opened.take(), QStringList{deletion});
    }
    EXPECT_EQ(a.relationCount(), 1);

    // A local edit goes up by what was kept of the stored copy (it is older), reading only the file
    // it replaces.
    edit(a, z.id, "z edited on a");
    {
        OpenedFiles opened;
        a.sync();
        EXPECT_EQ(opened.take().filter(QRegularExpression("^[0-9A-F-]+\\.record$")),
                  QStringList{fileOf(uuidString(z.id))});
    }
    b.sync();
    EXPECT_EQ(b.link(z.id)->title, "z edited on a");
    EXPECT_EQ(b.relationCount(), 1);
}

} // namespace
} // namespace morvane::test
