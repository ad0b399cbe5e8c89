#include "StoreTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Byte 18 of the header is the write version: above 2, SQLite reads the file but refuses every
// write, as it does for a file the user may not write. Unlike file modes, it binds root too.
void setWriteVersion(char version)
{
    QFile file(libraryFile());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(18));
    ASSERT_EQ(file.write(&version, 1), 1);
}

struct UnwritableCase {
    const char* name;
    bool bindsRoot;
    std::function<void()> apply;
    std::function<void()> undo;
};

TEST(SQLiteConnection, ALibraryThatCannotBeWrittenIsRefusedAtOpenAndLeftAsItWas)
{
    const QString folder = testHome();
    const QByteArray file = libraryFile().toUtf8();
    const QByteArray dir = folder.toUtf8();
    const QList<UnwritableCase> cases = {
        {"header forbids writing", true, [] { setWriteVersion(3); }, [] { setWriteVersion(2); }},
        {"file mode 0444", false, [&] { chmod(file.constData(), 0444); },
         [&] { chmod(file.constData(), 0644); }},
        {"folder mode 0555, WAL library", false, [&] { chmod(dir.constData(), 0555); },
         [&] { chmod(dir.constData(), 0755); }},
        // The journal is made only at the first page written: the probe must write a page.
        {"folder mode 0555, rollback-journal library", false,
         [&] {
             writeRaw({"PRAGMA journal_mode = DELETE"});
             chmod(dir.constData(), 0555);
         },
         [&] { chmod(dir.constData(), 0755); }},
    };
    {
        SQLiteStore store(libraryFile());
        addLink(store, makeLink(QStringLiteral("Kept")));
    }
    for (const UnwritableCase& unwritable : cases) {
        SCOPED_TRACE(unwritable.name);
        if (!unwritable.bindsRoot && geteuid() == 0)
            continue; // file modes deny root nothing
        unwritable.apply();
        const QByteArray before = fileBytes(libraryFile());
        const QStringList filesBefore = QDir(folder).entryList(QDir::Files);
        EXPECT_EQ(errorText([] { SQLiteStore store(libraryFile()); }),
                  "The operation couldn’t be completed. (attempt to write a readonly database)");
        EXPECT_EQ(fileBytes(libraryFile()), before);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), filesBefore);
        unwritable.undo();
        SQLiteStore store(libraryFile());
        EXPECT_EQ(titles(store.reads().allLinks()), QStringList{QStringLiteral("Kept")});
    }
}

} // namespace
