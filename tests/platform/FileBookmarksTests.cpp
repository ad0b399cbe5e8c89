#include "TestFiles.h"

#include "platform/BookmarkRecord.h"
#include "platform/FileBookmarks.h"
#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"
#include "platform/VolumeCatalog.h"

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

TEST(BookmarkRecord, RefusesForeignOrDamagedData)
{
    const QByteArray valid =
        R"({"format":"morvane-bookmark","version":1,"kind":"file","path":"/a","inode":1,)"
        R"("volume":"v","mountPoint":"/","relativePath":"/a"})";
    ASSERT_TRUE(BookmarkRecord::decode(valid));
    const std::pair<const char*, const char*> changes[] = {
        {R"("format":"morvane-bookmark")", R"("format":"other")"},
        {R"("version":1)", R"("version":2)"},
        {R"("kind":"file")", R"("kind":"sock")"},
        {R"("inode":1)", R"("inode":-1)"},
        {R"("inode":1)", R"("inode":1,"birthSeconds":5)"},
        {R"(,"relativePath":"/a")", ""},
        // U+0000 would cut the path short at the system call.
        {R"("path":"/a")", R"("path":"/etc/hostname\u0000.pdf")"},
        {R"("relativePath":"/a")", R"("relativePath":"/etc\u0000/a")"},
    };
    for (const auto& [from, to] : changes) {
        const QByteArray data = QByteArray(valid).replace(from, to);
        EXPECT_FALSE(BookmarkRecord::decode(data)) << data.toStdString();
    }
    for (const char* data : {"", "not json", "[]"})
        EXPECT_FALSE(BookmarkRecord::decode(data)) << data;
}

TEST(FileBookmarks, RecordedPathWinsEvenAfterSaveByRename)
{
    const QString file = writeFile("notes.txt", "v1");
    const QByteArray data = bookmarkOf(file);
    EXPECT_EQ(bookmarkOf(file), data); // an unchanged file gives the same bytes
    EXPECT_FALSE(bookmarks().create(homePath("gone")).errorDescription.isEmpty());

    // An editor saves by writing a new file and renaming it over the old one: a new inode.
    const QString saved = writeFile("notes.txt.tmp", "v2");
    ASSERT_EQ(::rename(QFile::encodeName(saved).constData(), QFile::encodeName(file).constData()), 0);
    const auto resolution = bookmarks().resolve(data);
    EXPECT_EQ(resolution.path, file);
    EXPECT_FALSE(resolution.stale);

    // A folder now standing at the file's path is not the file.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    EXPECT_FALSE(bookmarks().resolve(data).path);
}

TEST(FileBookmarks, FindsMovedFilesByIdentityAsStaleEvenInTheTrash)
{
    const QByteArray data = bookmarkOf(writeFile("project/docs/report.pdf", "pdf"));
    writeFile("project/archive/2024/other", "");

    // Renamed in place, moved into a sibling folder of the parent's subtree, moved to the Trash.
    QString moved = homePath("project/docs/report.pdf");
    for (const QString to :
         {"project/docs/final.pdf", "project/archive/2024/final.pdf", ".local/share/Trash/files/final.pdf"}) {
        moved = renameFile(moved, to);
        const auto resolution = bookmarks().resolve(data);
        EXPECT_EQ(resolution.path, moved);
        EXPECT_TRUE(resolution.stale);
    }
}

TEST(FileBookmarks, DeletedFileAndExhaustedBudgetFailWithAMessage)
{
    const QByteArray data = bookmarkOf(writeFile("a/b/c.txt", "c"));

    // Out of reach of a budget that allows almost nothing.
    const QString moved = renameFile("a/b/c.txt", "a/x/c2.txt");
    for (int i = 0; i < 20; ++i)
        writeFile(QStringLiteral("a/b/f%1").arg(i), "f");
    EXPECT_FALSE(bookmarks(BookmarkSearchBudget{5, std::chrono::milliseconds(250)}).resolve(data).path);
    EXPECT_TRUE(bookmarks().resolve(data).path);

    ASSERT_TRUE(QFile::remove(moved));
    const auto resolution = bookmarks().resolve(data);
    EXPECT_FALSE(resolution.path);
    EXPECT_TRUE(resolution.errorDescription.contains("“c.txt”"));
    EXPECT_FALSE(bookmarks().resolve("garbage").errorDescription.isEmpty());
}
