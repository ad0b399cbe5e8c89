// The record folder is shared with a file-sync program, so anything may appear in it. Each row puts
// one entry under a record's name in a folder reached through a link, then two machines sync through
// the real folder backend: the entry is left out (named in the pass's result when the pass asked for
// it by name), the rest syncs, nothing blocks and nothing outside the folder changes.

#include "SyncTestSupport.h"

#include "foundation/Uuid.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordFormats.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/sysmacros.h>
#include <unistd.h>

namespace morvane::test {
namespace {

// A link's record as its file holds it, padded with spaces (still valid JSON) to `size` bytes.
QByteArray recordFile(const LinkItem& link, qint64 size = 0)
{
    QTemporaryDir scratch(testHome() + "/scratch-XXXXXX");
    CloudRecord record(RecordFormats::linkType, RecordFormats::linkRecordName(link));
    RecordFormats::writeLinkFields(link, record);
    FolderRecordStore(scratch.path()).save(record);
    QByteArray bytes = contents(scratch.path() + "/" + record.recordName() + ".record");
    return bytes + QByteArray(std::max<qint64>(0, size - bytes.size()), ' ');
}

// Under the name of the local link "victim", which the pass fetches and saves by name; of a link that
// no machine has, which only a listing meets; or of the reset marker.
enum class Under { victim, stranger, marker };

struct Row {
    const char*
        linkTo;  // a symbolic link to this (in the row's folder unless absolute), or with S_IFREG a hard link
    mode_t node; // else this kind of entry: S_IFREG for a valid record over the size limit; 0 for none
    Under under;
    QString named; // what the pass's result says of it; empty: the pass completes
};

bool make(const Row& row, const QString& path, const QString& root, const LinkItem& owner)
{
    const QByteArray name = QFile::encodeName(path);
    const QString target = row.linkTo && row.linkTo[0] == '/' ? row.linkTo : root + "/" + row.linkTo;
    if (row.linkTo)
        return row.node == S_IFREG ? ::link(QFile::encodeName(target).constData(), name.constData()) == 0
                                   : QFile::link(target, path);
    if (row.node == S_IFDIR)
        return QDir().mkpath(path);
    if (row.node == S_IFREG)
        return !writeFile(path, recordFile(owner, FolderRecordStore::maximumRecordBytes + 1)).isEmpty();
    // FIFOs, sockets and devices (as /dev/null) alike
    return row.node == 0 || ::mknod(name.constData(), row.node | 0600, makedev(1, 3)) == 0;
}

TEST(HostileFolder, everyEntryThatIsNotARecordFileIsLeftOutAndThePassGoesOn)
{
    const QString link = "the record folder holds a symbolic link under its name, not a record file";
    const QString marker = "the library-reset marker: the record folder holds ";
    const QList<Row> rows = {
        {"precious.txt", 0, Under::victim, link},
        {"outside.record", 0, Under::stranger, {}},
        {"outside.record", 0, Under::victim, link},
        {"/etc/passwd", 0, Under::stranger, {}},
        {"outside.fifo", 0, Under::victim, link},
        {"precious.txt", 0, Under::marker, marker + "a symbolic link"},
        {"precious.txt", S_IFREG, Under::victim, {}}, // a regular file: replaced by a rename, not written
        {nullptr, S_IFIFO, Under::victim, "the record folder holds a FIFO under its name"},
        {nullptr, S_IFIFO, Under::stranger, {}},
        {nullptr, S_IFIFO, Under::marker, marker + "a FIFO"},
        {nullptr, S_IFSOCK, Under::victim, "the record folder holds a socket under its name"},
        {nullptr, S_IFCHR, Under::victim, "the record folder holds a device under its name"},
        {nullptr, S_IFDIR, Under::victim, "the record folder holds a folder under its name"},
        {nullptr, S_IFDIR, Under::stranger, {}},
        {nullptr, S_IFDIR, Under::marker, marker + "a folder"},
        {nullptr, S_IFREG, Under::stranger, {}},
        {nullptr, S_IFREG, Under::victim, "its record file is 1,048,577 bytes, over the limit of 1,048,576"},
        {nullptr, 0, Under::victim, "its record would take "}, // a victim with 1 MiB of notes
    };
    for (int i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(QStringLiteral("row %1").arg(i).toStdString());
        const QString root = testHome() + QStringLiteral("/row%1").arg(i);
        const QString shared = root + "/Shared";
        const LinkItem stranger = makeLink("stranger");
        ASSERT_TRUE(QDir().mkpath(shared) && QFile::link(shared, root + "/Records") &&
                    makeFifo(root + "/outside.fifo"));
        writeFile(root + "/precious.txt", "the user's own\n");
        writeFile(root + "/outside.record", recordFile(stranger));
        LinkItem victim = makeLink("victim");
        if (!row.linkTo && row.node == 0)
            victim.notes = QString(int(FolderRecordStore::maximumRecordBytes), u'n');
        const QString name = row.under == Under::victim     ? uuidString(victim.id)
                             : row.under == Under::stranger ? uuidString(stranger.id)
                                                            : RecordFormats::libraryResetName;
        const QString path = shared + "/" + name + ".record";
        if (!make(row, path, root, row.under == Under::stranger ? stranger : victim)) {
            ADD_FAILURE() << "could not make the entry: " << std::strerror(errno);
            continue;
        }
        const struct stat before = entryStat(path);
        const QByteArray bytesBefore = S_ISREG(before.st_mode) ? contents(path) : QByteArray();

        Machine a(QStringLiteral("a%1").arg(i), std::make_shared<FolderRecordStore>(root + "/Records"));
        Machine b(QStringLiteral("b%1").arg(i), std::make_shared<FolderRecordStore>(root + "/Records"));
        a.add(makeLink("bystander"));
        a.add(victim);
        const QString result = a.failedSync();
        EXPECT_EQ(b.failedSync(), row.under == Under::marker ? result : QString());
        EXPECT_EQ(a.failedSync(), result);

        const bool victimLeftOut = row.under == Under::victim && !row.named.isEmpty();
        if (row.named.isEmpty())
            EXPECT_EQ(result, "");
        else
            EXPECT_TRUE(
                result.startsWith("Sync left out 1 record(s); the rest is synced. ") &&
                result.contains(row.named) &&
                (!victimLeftOut || result.contains("link \u201cvictim\u201d (" + uuidString(victim.id))))
                << result.toStdString();
        EXPECT_EQ(b.titles(),
                  victimLeftOut ? QStringList{"bystander"} : (QStringList{"bystander", "victim"}));
        EXPECT_FALSE(a.link(stranger.id) || b.link(stranger.id));
        EXPECT_EQ(contents(root + "/precious.txt"), "the user's own\n");
        EXPECT_TRUE(S_ISFIFO(entryStat(root + "/outside.fifo").st_mode));
        const struct stat after = entryStat(path);
        if (row.linkTo && row.node == S_IFREG) {
            EXPECT_TRUE(S_ISREG(after.st_mode) && after.st_ino != before.st_ino);
        } else {
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(S_ISREG(after.st_mode) ? contents(path) : QByteArray(), bytesBefore);
        }
    }
}

} // namespace
} // namespace morvane::test
