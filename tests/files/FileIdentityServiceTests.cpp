#include "FilesTestSupport.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString emptyHash = QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

// The locator of the file at path.
FileLocator at(const QString& path)
{
    return FileLocator::read(fileUrl(path));
}

} // namespace

TEST(FileIdentityService, MakesIdentityOfRegularFilesFoldersAndEmptyFiles)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Résumé 2024.pdf"));
    writeFile(file, QByteArray(70000, 'x'));
    writeFile(dir.filePath(QStringLiteral("empty")), {});
    IdentityFixture fx;

    const auto identity = fx.service->makeIdentity(fileUrl(file), true);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->lastKnownPath, file);
    EXPECT_EQ(identity->fileSize, 70000);
    EXPECT_EQ(identity->contentHash, sha256sumOf(file));
    EXPECT_FALSE(identity->bookmarkData.isEmpty());
    EXPECT_FALSE(identity->fileResourceIdentifier.value_or(QString()).isEmpty());
    EXPECT_FALSE(identity->volumeIdentifier.value_or(QString()).isEmpty());

    // Capture asks for no fingerprint; everything else is the same, bookmark bytes included.
    FileIdentity cheap = *identity;
    cheap.contentHash.reset();
    EXPECT_EQ(fx.service->makeIdentity(fileUrl(file), false), cheap);

    const auto empty = fx.service->makeIdentity(fileUrl(dir.filePath(QStringLiteral("empty"))), true);
    EXPECT_EQ(empty->fileSize, 0);
    EXPECT_EQ(empty->contentHash, emptyHash);

    const auto folder = fx.service->makeIdentity(fileUrl(dir.path()), true);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->lastKnownPath, dir.path()); // without the URL's final "/"
    EXPECT_FALSE(folder->fileSize || folder->contentHash);
}

TEST(FileIdentityService, NoIdentityForOtherUrlsAndMissingFiles)
{
    QTemporaryDir dir;
    IdentityFixture fx;
    LogCapture log;
    EXPECT_FALSE(fx.service->makeIdentity(QStringLiteral("https://example.com/a.pdf"), true));
    EXPECT_FALSE(fx.service->makeIdentity(QStringLiteral("file://otherhost/a.pdf"), true));
    // "%00" must not cut the path short at an existing file.
    const QString existing = dir.filePath(QStringLiteral("hostname"));
    writeFile(existing, "secret");
    EXPECT_FALSE(fx.service->makeIdentity(fileUrl(existing) + QStringLiteral("%00.pdf"), true));
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{},
                                             FileLocator::read(fileUrl(existing) + QStringLiteral("%00"))),
              FileIdentity{});
    EXPECT_TRUE(log.lines().isEmpty());

    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    EXPECT_FALSE(fx.service->makeIdentity(fileUrl(missing), true));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_EQ(
        log.lines().first(),
        QStringLiteral("Failed to create file bookmark for %1: The file “missing.txt” couldn’t be opened "
                       "because there is no such file.")
            .arg(missing));
}

TEST(FileIdentityService, UnreadableFileKeepsSizeWithoutFingerprint)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("locked.bin"));
    writeFile(file, "secret");
    IdentityFixture fx;
    fx.hasher->failing = true;
    const auto identity = fx.service->makeIdentity(fileUrl(file), true);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->fileSize, 6);
    EXPECT_FALSE(identity->contentHash);
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, at(file)),
              (FileIdentity{{}, {}, {}, {}, std::nullopt, 6}));
}

TEST(FileIdentityService, RefreshFillsOnlyWhatIsMissingAndOnlyForRegularFiles)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "hello");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600), 0);
    IdentityFixture fx;

    const FileIdentity stored{"old bookmark",         QStringLiteral("1-1.000000000"),
                              std::nullopt,           QStringLiteral("/old/place/a.txt"),
                              QStringLiteral("kept"), std::nullopt};
    FileIdentity expected = stored;
    expected.fileSize = 5;
    EXPECT_EQ(fx.service->refreshSizeAndHash(stored, at(file)), expected);
    EXPECT_EQ(fx.hasher->reads, 0);
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, at(file)).contentHash, sha256sumOf(file));

    // A folder has no size to compare, and a FIFO with no writer returns at once with nothing.
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, at(dir.path())), FileIdentity{});
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, at(dir.filePath(QStringLiteral("pipe")))),
              FileIdentity{});
    const auto fifo = fx.service->makeIdentity(fileUrl(dir.filePath(QStringLiteral("pipe"))), true);
    ASSERT_TRUE(fifo);
    EXPECT_FALSE(fifo->fileSize || fifo->contentHash);
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{},
                                             FileLocator::read(QStringLiteral("https://example.com"))),
              FileIdentity{});
}

TEST(FileIdentityService, HashCacheServesUnchangedFilesAndNoticesChanges)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    writeFile(file, "first");
    IdentityFixture fx;
    // A second service over the same cache, as the link store and the opener each have one.
    FileIdentityPlatform platform = fx.service->platform();
    const FileIdentityService other(fx.cache, platform);

    EXPECT_EQ(fx.service->makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(other.makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(fx.hasher->reads, 1);

    writeFile(file, "second, longer");
    EXPECT_EQ(other.makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(fx.hasher->reads, 2);
}

TEST(FileHashCache, EvictsTheLeastRecentlyUsed)
{
    FileHashCache cache(2);
    const FileHashKey a{QStringLiteral("v"), 1, 1, {}, {}};
    const FileHashKey b{QStringLiteral("v"), 2, 1, {}, {}};
    cache.insert(a, QStringLiteral("A"));
    cache.insert(b, QStringLiteral("B"));
    EXPECT_EQ(cache.find(a), QStringLiteral("A")); // a is now the most recent
    cache.insert(FileHashKey{QStringLiteral("v"), 3, 1, {}, {}}, QStringLiteral("C"));
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_FALSE(cache.find(b));
    EXPECT_FALSE(cache.find(FileHashKey{QStringLiteral("other"), 1, 1, {}, {}}));
}

TEST(FileIdentityService, ResolvesBookmarksAndFallsBack)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plan.txt"));
    writeFile(file, "plan");
    IdentityFixture fx;
    const auto identity = fx.service->makeIdentity(fileUrl(file), false);
    ASSERT_TRUE(identity);
    LogCapture log;

    EXPECT_EQ(fx.service->resolveBookmark(identity->bookmarkData, std::nullopt),
              (ResolvedFileIdentity{fileUrl(file), std::nullopt}));

    // Renamed in its folder: found again, stale, with a complete new identity.
    const QString renamed = dir.filePath(QStringLiteral("plan v2.txt"));
    ASSERT_TRUE(QFile::rename(file, renamed));
    auto resolved = fx.service->resolveBookmark(identity->bookmarkData, std::nullopt);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->url, fileUrl(renamed));
    ASSERT_TRUE(resolved->refreshedIdentity);
    EXPECT_EQ(resolved->refreshedIdentity->lastKnownPath, renamed);
    EXPECT_EQ(resolved->refreshedIdentity->contentHash, sha256sumOf(renamed));
    EXPECT_EQ(resolved->refreshedIdentity->fileResourceIdentifier, identity->fileResourceIdentifier);
    EXPECT_TRUE(log.lines().isEmpty());

    // Deleted: one log line, then the fallback (or nothing without one).
    ASSERT_TRUE(QFile::remove(renamed));
    const QString fallback = QStringLiteral("file:///somewhere/else.txt");
    EXPECT_EQ(fx.service->resolveBookmark(identity->bookmarkData, fallback),
              (ResolvedFileIdentity{fallback, std::nullopt}));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("Failed to resolve file bookmark: ")));
    EXPECT_FALSE(fx.service->resolveBookmark(identity->bookmarkData, std::nullopt));

    EXPECT_FALSE(fx.service->resolveBookmark(std::nullopt, std::nullopt));
    EXPECT_EQ(fx.service->resolveBookmark(std::nullopt, fallback),
              (ResolvedFileIdentity{fallback, std::nullopt}));
    EXPECT_EQ(log.lines().size(), 2);
}
