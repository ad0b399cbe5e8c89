#include "PlatformTestFiles.h"

#include "platform/FileStatus.h"
#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"
#include "platform/Sha256Hasher.h"
#include "platform/VolumeCatalog.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace morvane;
using namespace morvane::test;

TEST(FileSystemProbe, ReportsKindsSizesAndMissingPaths)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "hello");
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link"))));
    ASSERT_TRUE(makeFifo(dir.filePath(QStringLiteral("pipe"))));
    LinuxFileSystemProbe probe;

    const auto regular = probe.status(file);
    ASSERT_TRUE(regular);
    EXPECT_EQ(regular.status->kind, FileKind::regular);
    EXPECT_EQ(regular.status->size, 5);
    EXPECT_NE(regular.status->inode, 0u);

    EXPECT_EQ(probe.status(dir.path()).status->kind, FileKind::directory);
    EXPECT_EQ(probe.status(dir.filePath(QStringLiteral("pipe"))).status->kind, FileKind::other);
    // Links are followed unless asked otherwise.
    EXPECT_EQ(probe.status(dir.filePath(QStringLiteral("link"))).status->inode, regular.status->inode);
    EXPECT_EQ(probe.status(dir.filePath(QStringLiteral("link")), false).status->kind, FileKind::symlink);

    const auto missing = probe.status(dir.filePath(QStringLiteral("gone.txt")));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.errorDescription,
              QStringLiteral("The file “gone.txt” couldn’t be opened because there is no such file."));
}

TEST(FileSystemProbe, PathsHoldingNulReachNoSystemCall)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "hello");
    const QString cut = file + QChar(0) + QStringLiteral(".pdf");
    const QString cutFolder = dir.path() + QChar(0) + QStringLiteral("x");

    const auto probed = LinuxFileSystemProbe().status(cut);
    EXPECT_FALSE(probed);
    EXPECT_FALSE(probed.errorDescription.isEmpty());
    EXPECT_FALSE(OpenSslSha256Hasher().hashFile(cut));
    EXPECT_FALSE(LinuxFolderWalker().walk(cutFolder, {}, [](const WalkEntry&) { return WalkStep::proceed; }));
}

TEST(FileSystemProbe, ResourceIdentifierSurvivesRenameAndChangesOnCopy)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "content");
    LinuxFileSystemProbe probe;
    const QString before = fileResourceIdentifierText(*probe.status(file).status);
    ASSERT_TRUE(QFile::rename(file, dir.filePath(QStringLiteral("b.txt"))));
    EXPECT_EQ(fileResourceIdentifierText(*probe.status(dir.filePath(QStringLiteral("b.txt"))).status),
              before);
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("b.txt")), dir.filePath(QStringLiteral("c.txt"))));
    EXPECT_NE(fileResourceIdentifierText(*probe.status(dir.filePath(QStringLiteral("c.txt"))).status),
              before);
}

TEST(FileSystemProbe, ResourceIdentifierTextFormat)
{
    FileStatus status;
    status.inode = 1234;
    EXPECT_EQ(fileResourceIdentifierText(status), QStringLiteral("1234"));
    status.birthTime = FileTimestamp{1700000000, 5};
    EXPECT_EQ(fileResourceIdentifierText(status), QStringLiteral("1234-1700000000.000000005"));
}

TEST(VolumeCatalog, ParsesMountInfoWithEscapedPaths)
{
    const QByteArray text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                            "35 22 8:2 /data /mnt/my\\040disk rw - ext4 /dev/sda2 rw\n"
                            "garbage line\n";
    const QList<MountEntry> mounts = LinuxVolumeCatalog::parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 2);
    EXPECT_EQ(mounts[0], (MountEntry{22, 8, 1, QStringLiteral("/"), QStringLiteral("/")}));
    EXPECT_EQ(mounts[1], (MountEntry{35, 8, 2, QStringLiteral("/data"), QStringLiteral("/mnt/my disk")}));
}

TEST(VolumeCatalog, NamesTheVolumeStablyAndFindsItsMount)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "x");
    LinuxFileSystemProbe probe;
    const FileStatus status = *probe.status(file).status;
    // Without a by-uuid folder the identifier falls back to the fsid or the device numbers.
    LinuxVolumeCatalog catalog(dir.filePath(QStringLiteral("no-such-folder")));
    const QString volume = catalog.volumeIdentifier(file, status);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^(fsid:[0-9a-f]{16}|dev:\\d+:\\d+)$")).match(volume).hasMatch())
        << volume.toStdString();
    EXPECT_EQ(catalog.volumeIdentifier(dir.path(), *probe.status(dir.path()).status), volume);

    const auto mount = catalog.mountOf(file, status);
    ASSERT_TRUE(mount);
    EXPECT_TRUE(file.startsWith(mount->mountPoint));
    EXPECT_TRUE(catalog.mountsOfVolume(volume).contains(*mount));
}

TEST(VolumeCatalog, AVolumeMountedOnAReusedDeviceNumberIsNamedAfresh)
{
    // The by-uuid links of a fake folder lead to a real block device (stat needs no access to it).
    QString device;
    for (const QFileInfo& entry : QDir(QStringLiteral("/dev")).entryInfoList(QDir::System)) {
        struct stat st {};
        if (::stat(QFile::encodeName(entry.filePath()).constData(), &st) == 0 && S_ISBLK(st.st_mode)) {
            device = entry.filePath();
            break;
        }
    }
    if (device.isEmpty())
        GTEST_SKIP() << "no block device on this machine";
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(device).constData(), &st), 0);
    FileStatus status;
    status.deviceMajor = major(st.st_rdev);
    status.deviceMinor = minor(st.st_rdev);
    status.mountId = 40;

    QTemporaryDir dir;
    const QString byUuid = dir.filePath(QStringLiteral("by-uuid"));
    ASSERT_TRUE(QDir().mkpath(byUuid));
    ASSERT_TRUE(QFile::link(device, byUuid + QStringLiteral("/1111-AAAA")));
    LinuxVolumeCatalog catalog(byUuid);
    EXPECT_EQ(catalog.volumeIdentifier(QString(), status), QStringLiteral("uuid:1111-AAAA"));

    // The first stick is pulled out and another one gets its device number.
    ASSERT_TRUE(QFile::remove(byUuid + QStringLiteral("/1111-AAAA")));
    ASSERT_TRUE(QFile::link(device, byUuid + QStringLiteral("/2222-BBBB")));
    status.mountId = 41;
    EXPECT_EQ(catalog.volumeIdentifier(QString(), status), QStringLiteral("uuid:2222-BBBB"));
    // Mount ids are handed out again too.
    ASSERT_TRUE(QFile::remove(byUuid + QStringLiteral("/2222-BBBB")));
    ASSERT_TRUE(QFile::link(device, byUuid + QStringLiteral("/3333-CCCC")));
    EXPECT_EQ(catalog.volumeIdentifier(QString(), status), QStringLiteral("uuid:3333-CCCC"));
}

TEST(Sha256Hasher, MatchesSha256sumForRegularFilesOnly)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data.bin"));
    QByteArray content;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) // spans several read chunks
        content.append(char(i * 31));
    writeFile(file, content);
    writeFile(dir.filePath(QStringLiteral("empty")), {});
    ASSERT_TRUE(makeFifo(dir.filePath(QStringLiteral("pipe"))));
    OpenSslSha256Hasher hasher;

    const auto digest = hasher.hashFile(file);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->hex, sha256sumOf(file));
    EXPECT_EQ(digest->status.size, content.size());
    EXPECT_EQ(hasher.hashFile(dir.filePath(QStringLiteral("empty")))->hex,
              sha256sumOf(dir.filePath(QStringLiteral("empty"))));

    EXPECT_FALSE(hasher.hashFile(dir.path()));
    EXPECT_FALSE(hasher.hashFile(dir.filePath(QStringLiteral("missing"))));
    // A FIFO with no writer must not block the caller.
    EXPECT_FALSE(hasher.hashFile(dir.filePath(QStringLiteral("pipe"))));
    EXPECT_FALSE(hasher.hashFile(QStringLiteral("/dev/zero")));
}
