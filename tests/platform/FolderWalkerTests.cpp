#include "PlatformTestFiles.h"

#include "platform/FolderWalker.h"

#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace morvane;
using namespace morvane::test;

namespace {

QStringList walked(const QString& root, const WalkOptions& options = {})
{
    QStringList names;
    LinuxFolderWalker().walk(root, options, [&](const WalkEntry& entry) {
        names.append(entry.path.mid(root.size() + 1));
        return WalkStep::proceed;
    });
    return names;
}

} // namespace

TEST(FolderWalker, VisitsInNameOrderSkippingHiddenAndNotFollowingLinks)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("root"));
    writeFile(root + QStringLiteral("/b/inner.txt"), "1");
    writeFile(root + QStringLiteral("/a.txt"), "1");
    writeFile(root + QStringLiteral("/c.txt"), "1");
    writeFile(root + QStringLiteral("/.hidden/secret.txt"), "1");
    writeFile(root + QStringLiteral("/.dotfile"), "1");
    writeFile(dir.filePath(QStringLiteral("outside/far.txt")), "1");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside")), root + QStringLiteral("/link")));

    EXPECT_EQ(walked(root), QStringList({"a.txt", "b", "b/inner.txt", "c.txt", "link"}));

    WalkOptions everything;
    everything.skipHidden = false;
    everything.maxDepth = 1;
    EXPECT_EQ(walked(root, everything), QStringList({".dotfile", ".hidden", "a.txt", "b", "c.txt", "link"}));
}

TEST(FolderWalker, WalksTreesDeeperThanTheHandlesItMayOpen)
{
    QTemporaryDir dir;
    const int depth = 150;
    QString deepest = dir.path();
    QStringList expected;
    for (int level = 0; level < depth; ++level) {
        deepest += QStringLiteral("/d");
        expected.append(deepest.mid(dir.path().size() + 1));
    }
    writeFile(deepest + QStringLiteral("/leaf.txt"), "1");
    writeFile(dir.filePath(QStringLiteral("z.txt")), "1");
    expected << expected.last() + QStringLiteral("/leaf.txt") << QStringLiteral("z.txt");

    // Room for a dozen more handles than are open now, far fewer than the tree's depth.
    QSet<int> open;
    for (const QString& name :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot))
        open.insert(name.toInt());
    int limit = 0;
    for (int free = 0; free < 12; ++limit)
        free += open.contains(limit) ? 0 : 1;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit few{rlim_t(limit), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const QStringList names = walked(dir.path());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(names, expected);
}

TEST(FolderWalker, StopsAndSkipsOnRequestAndRefusesAMissingRoot)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a/x.txt")), "1");
    writeFile(dir.filePath(QStringLiteral("b/y.txt")), "1");
    QStringList seen;
    LinuxFolderWalker().walk(dir.path(), {}, [&](const WalkEntry& entry) {
        seen.append(entry.name);
        if (entry.name == QLatin1String("a"))
            return WalkStep::skipChildren;
        return entry.name == QLatin1String("b") ? WalkStep::stop : WalkStep::proceed;
    });
    EXPECT_EQ(seen, QStringList({"a", "b"}));
    EXPECT_FALSE(LinuxFolderWalker().walk(dir.filePath(QStringLiteral("missing")), {},
                                          [](const WalkEntry&) { return WalkStep::proceed; }));
}
