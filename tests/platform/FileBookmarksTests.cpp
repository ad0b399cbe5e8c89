#include "PlatformTestFiles.h"

#include "platform/BookmarkRecord.h"
#include "platform/FileBookmarks.h"
#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"
#include "platform/VolumeCatalog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

LinuxFileBookmarks bookmarks(BookmarkSearchBudget budget = {})
{
    return LinuxFileBookmarks(std::make_shared<LinuxFileSystemProbe>(),
                              std::make_shared<LinuxVolumeCatalog>(), std::make_shared<LinuxFolderWalker>(),
                              budget);
}

QByteArray bookmarkOf(const QString& path)
{
    const auto creation = bookmarks().create(path);
    if (!creation.data)
        ADD_FAILURE() << creation.errorDescription.toStdString();
    return creation.data.value_or(QByteArray());
}

} // namespace

TEST(BookmarkRecord, EncodesCompactSortedJsonAndRoundTrips)
{
    BookmarkRecord record;
    record.kind = FileKind::directory;
    record.path = record.relativePath = QStringLiteral("/home/u/Docs \"x\"");
    record.inode = 42;
    record.birthTime = FileTimestamp{1700000000, 123};
    record.volumeIdentifier = QStringLiteral("uuid:1234-ABCD");
    record.mountPoint = QStringLiteral("/");
    const QByteArray data = record.encoded();
    EXPECT_EQ(data,
              QByteArray(R"({"birthNanoseconds":123,"birthSeconds":1700000000,"format":"morvane-bookmark",)"
                         R"("inode":42,"kind":"folder","mountPoint":"/","path":"/home/u/Docs \"x\"",)"
                         R"("relativePath":"/home/u/Docs \"x\"","version":1,"volume":"uuid:1234-ABCD"})"));
    EXPECT_EQ(BookmarkRecord::decode(data), record);

    record.birthTime.reset();
    EXPECT_EQ(BookmarkRecord::decode(record.encoded()), record);
}

TEST(BookmarkRecord, RefusesForeignOrDamagedData)
{
    const QList<QByteArray> damaged{
        "",
        "not json",
        "[]",
        R"({"format":"other","version":1})",
        R"({"format":"morvane-bookmark","version":2,"kind":"file","path":"/a","inode":1,"volume":"v","mountPoint":"/","relativePath":"/a"})",
        R"({"format":"morvane-bookmark","version":1,"kind":"sock","path":"/a","inode":1,"volume":"v","mountPoint":"/","relativePath":"/a"})",
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/a","inode":-1,"volume":"v","mountPoint":"/","relativePath":"/a"})",
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/a","inode":1,"volume":"v","mountPoint":"/"})",
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/a","inode":1,"volume":"v","mountPoint":"/","relativePath":"/a","birthSeconds":5})",
        // U+0000 would cut the path short at the system call.
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/etc/hostname\u0000.pdf","inode":1,"volume":"v","mountPoint":"/","relativePath":"/a"})",
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/a","inode":1,"volume":"v","mountPoint":"/","relativePath":"/etc\u0000/a"})",
    };
    for (const QByteArray& data : damaged)
        EXPECT_FALSE(BookmarkRecord::decode(data)) << data.toStdString();
}

TEST(FileBookmarks, SameBytesForAnUnchangedFileAndErrorForAMissingOne)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "abc");
    EXPECT_EQ(bookmarkOf(file), bookmarkOf(file));
    EXPECT_EQ(BookmarkRecord::decode(bookmarkOf(file)).value_or(BookmarkRecord()).path, file);
    EXPECT_FALSE(bookmarks().create(dir.filePath(QStringLiteral("gone"))).errorDescription.isEmpty());
}

TEST(FileBookmarks, RecordedPathWinsEvenAfterSaveByRename)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("notes.txt"));
    writeFile(file, "v1");
    const QByteArray data = bookmarkOf(file);
    // An editor saves by writing a new file and renaming it over the old one: a new inode.
    writeFile(dir.filePath(QStringLiteral("notes.txt.tmp")), "v2");
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("notes.txt.tmp"))).constData(),
                       QFile::encodeName(file).constData()),
              0);
    const auto resolution = bookmarks().resolve(data);
    EXPECT_EQ(resolution.path, file);
    EXPECT_FALSE(resolution.stale);

    // A folder now standing at the file's path is not the file.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    EXPECT_FALSE(bookmarks().resolve(data).path);
}

TEST(FileBookmarks, FindsMovedFilesByIdentityAsStale)
{
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("project/docs/report.pdf"));
    writeFile(saved, "pdf");
    writeFile(dir.filePath(QStringLiteral("project/archive/2024/other")), "");
    const QByteArray data = bookmarkOf(saved);

    // Renamed in place, then moved into a sibling folder of the parent's subtree.
    QString moved = saved;
    for (const char* to : {"project/docs/final.pdf", "project/archive/2024/final.pdf"}) {
        ASSERT_TRUE(QFile::rename(moved, dir.filePath(QString::fromLatin1(to))));
        moved = dir.filePath(QString::fromLatin1(to));
        const auto resolution = bookmarks().resolve(data);
        EXPECT_EQ(resolution.path, moved);
        EXPECT_TRUE(resolution.stale);
    }

    // Moved to the Trash.
    const QString trashed = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files/final.pdf");
    QDir().mkpath(trashed.left(trashed.lastIndexOf(u'/')));
    if (::rename(QFile::encodeName(moved).constData(), QFile::encodeName(trashed).constData()) != 0)
        GTEST_SKIP() << "the test home is on another file system than the temporary folder";
    EXPECT_EQ(bookmarks().resolve(data).path, trashed);
}

TEST(FileBookmarks, DeletedFileAndExhaustedBudgetFailWithAMessage)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a/b/c.txt"));
    writeFile(file, "c");
    const QByteArray data = bookmarkOf(file);

    // Out of reach of a budget that allows almost nothing.
    QDir().mkpath(dir.filePath(QStringLiteral("a/x")));
    ASSERT_TRUE(QFile::rename(file, dir.filePath(QStringLiteral("a/x/c2.txt"))));
    for (int i = 0; i < 20; ++i)
        writeFile(dir.filePath(QStringLiteral("a/b/f%1").arg(i)), "f");
    EXPECT_FALSE(bookmarks(BookmarkSearchBudget{5, std::chrono::milliseconds(250)}).resolve(data).path);
    EXPECT_TRUE(bookmarks().resolve(data).path);

    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("a/x/c2.txt"))));
    const auto resolution = bookmarks().resolve(data);
    EXPECT_FALSE(resolution.path);
    EXPECT_TRUE(resolution.errorDescription.contains(QStringLiteral("“c.txt”")));
    EXPECT_FALSE(bookmarks().resolve("garbage").errorDescription.isEmpty());
}
