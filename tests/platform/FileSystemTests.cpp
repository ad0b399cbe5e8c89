#include "TestFiles.h"

#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"
#include "platform/Sha256Hasher.h"
#include "platform/VolumeCatalog.h"

#include <QSet>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/sysmacros.h>

using namespace morvane;
using namespace morvane::test;

TEST(FileSystemProbe, PathsHoldingNulReachNoSystemCall)
{
    const QString cut = writeFile("a.txt", "hello") + QChar(0) + ".pdf";
    const auto probed = LinuxFileSystemProbe().status(cut);
    EXPECT_FALSE(probed);
    EXPECT_FALSE(probed.errorDescription.isEmpty());
    EXPECT_FALSE(OpenSslSha256Hasher().hashFile(cut));
    EXPECT_FALSE(LinuxFolderWalker().walk(testHome() + QChar(0) + "x", {},
                                          [](const WalkEntry&) { return WalkStep::proceed; }));
}

TEST(VolumeCatalog, ParsesMountInfoWithEscapedPaths)
{
    const QByteArray text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                            "35 22 8:2 /data /mnt/my\\040disk rw - ext4 /dev/sda2 rw\n"
                            "garbage line\n";
    EXPECT_EQ(LinuxVolumeCatalog::parseMountInfo(text),
              (QList<MountEntry>{{22, 8, 1, "/", "/"}, {35, 8, 2, "/data", "/mnt/my disk"}}));
}

TEST(VolumeCatalog, AVolumeMountedOnAReusedDeviceNumberIsNamedAfresh)
{
    // The by-uuid links of a fake folder lead to a real block device (stat needs no access to it).
    QString device;
    struct stat st {};
    for (const QFileInfo& entry : QDir("/dev").entryInfoList(QDir::System)) {
        if (::stat(QFile::encodeName(entry.filePath()).constData(), &st) == 0 && S_ISBLK(st.st_mode)) {
            device = entry.filePath();
            break;
        }
    }
    if (device.isEmpty())
        GTEST_SKIP() << "no block device on this machine";
    FileStatus status;
    status.deviceMajor = major(st.st_rdev);
    status.deviceMinor = minor(st.st_rdev);
    status.mountId = 40;
    const QString byUuid = homePath("by-uuid");
    ASSERT_TRUE(QDir().mkpath(byUuid));
    LinuxVolumeCatalog catalog(byUuid);

    // A stick is pulled out and another gets its device number, then its mount id is handed out again.
    QString previous;
    for (const auto& [uuid, mountId] : {std::pair{"1111-AAAA", 40}, {"2222-BBBB", 41}, {"3333-CCCC", 41}}) {
        QFile::remove(previous);
        previous = byUuid + u'/' + QString::fromLatin1(uuid);
        ASSERT_TRUE(QFile::link(device, previous));
        status.mountId = mountId;
        EXPECT_EQ(catalog.volumeIdentifier(QString(), status), QStringLiteral("uuid:") + uuid);
    }
}

TEST(Sha256Hasher, MatchesSha256sumForRegularFilesOnly)
{
    QByteArray content;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) // spans several read chunks
        content.append(char(i * 31));
    const QString file = writeFile("data.bin", content);
    const QString empty = writeFile("empty", {});
    ASSERT_TRUE(makeFifo(homePath("pipe")));
    OpenSslSha256Hasher hasher;

    const auto digest = hasher.hashFile(file);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->hex, sha256sumOf(file));
    EXPECT_EQ(digest->status.size, content.size());
    EXPECT_EQ(hasher.hashFile(empty).value_or(FileDigest()).hex, sha256sumOf(empty));
    // Nothing for a folder or a missing file; a FIFO with no writer or a device must not block the caller.
    for (const QString& other :
         {testHome(), homePath("missing"), homePath("pipe"), QStringLiteral("/dev/zero")})
        EXPECT_FALSE(hasher.hashFile(other)) << other.toStdString();
}

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
    for (const char* name : {"root/b/inner.txt", "root/a.txt", "root/c.txt", "root/.hidden/secret.txt",
                             "root/.dotfile", "outside/far.txt"})
        writeFile(QString::fromLatin1(name), "1");
    const QString root = homePath("root");
    ASSERT_TRUE(QFile::link(homePath("outside"), root + "/link"));

    EXPECT_EQ(walked(root), QStringList({"a.txt", "b", "b/inner.txt", "c.txt", "link"}));

    WalkOptions everything;
    everything.skipHidden = false;
    everything.maxDepth = 1;
    EXPECT_EQ(walked(root, everything), QStringList({".dotfile", ".hidden", "a.txt", "b", "c.txt", "link"}));
}

TEST(FolderWalker, WalksTreesDeeperThanTheHandlesItMayOpen)
{
    QString deepest;
    QStringList expected;
    for (int level = 0; level < 150; ++level) {
        deepest += deepest.isEmpty() ? "d" : "/d";
        expected.append(deepest);
    }
    writeFile(deepest + "/leaf.txt", "1");
    writeFile("z.txt", "1");
    expected << expected.last() + "/leaf.txt"
             << "z.txt";

    // Room for a dozen more handles than are open now, far fewer than the tree's depth.
    QSet<int> open;
    for (const QString& name : QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot))
        open.insert(name.toInt());
    int limit = 0;
    for (int free = 0; free < 12; ++limit)
        free += open.contains(limit) ? 0 : 1;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit few{rlim_t(limit), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const QStringList names = walked(testHome());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(names, expected);
}
