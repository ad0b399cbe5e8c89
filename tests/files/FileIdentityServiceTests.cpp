#include "FilesTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(FileIdentityService, MakesIdentityOfRegularFilesFoldersAndEmptyFiles)
{
    const QString file = writeFile("Résumé 2024.pdf", QByteArray(70000, 'x'));
    const QString empty = writeFile("empty", {});
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
    EXPECT_EQ(fx.service->makeIdentity(fileUrl(empty), true)->contentHash, sha256sumOf(empty));

    const auto folder = fx.service->makeIdentity(fileUrl(testHome()), true);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->lastKnownPath, testHome()); // without the URL's final "/"
    EXPECT_FALSE(folder->fileSize || folder->contentHash);
}

TEST(FileIdentityService, NoIdentityForOtherUrlsAndMissingFiles)
{
    IdentityFixture fx;
    LogCapture log("morvane.FileIdentity");
    EXPECT_FALSE(fx.service->makeIdentity("https://example.com/a.pdf", true));
    EXPECT_FALSE(fx.service->makeIdentity("file://otherhost/a.pdf", true));
    // "%00" must not cut the path short at an existing file.
    const QString existing = fileUrl(writeFile("hostname", "secret"));
    EXPECT_FALSE(fx.service->makeIdentity(existing + "%00.pdf", true));
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, FileLocator::read(existing + "%00")),
              FileIdentity{});
    EXPECT_TRUE(log.lines().isEmpty());

    const QString missing = testHome() + "/missing.txt";
    EXPECT_FALSE(fx.service->makeIdentity(fileUrl(missing), true));
    EXPECT_EQ(log.lines(), QStringList(QStringLiteral("Failed to create file bookmark for %1: The file "
                                                      "“missing.txt” couldn’t be opened because there is no "
                                                      "such file.")
                                           .arg(missing)));
}

TEST(FileIdentityService, RefreshFillsOnlyWhatIsMissingAndOnlyForReadableRegularFiles)
{
    const QString file = writeFile("a.txt", "hello");
    const QString pipe = testHome() + "/pipe";
    ASSERT_TRUE(makeFifo(pipe));
    IdentityFixture fx;

    const FileIdentity stored{"old bookmark", "1-1.000000000", std::nullopt, "/old/place/a.txt", "kept", {}};
    FileIdentity expected = stored;
    expected.fileSize = 5;
    EXPECT_EQ(fx.service->refreshSizeAndHash(stored, locatorOf(file)), expected);
    EXPECT_EQ(fx.hasher->reads, 0);
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, locatorOf(file)).contentHash, sha256sumOf(file));

    // Nothing for a folder, another URL, or a FIFO with no writer (which must not block).
    for (const QString& url : {fileUrl(testHome()), fileUrl(pipe), QStringLiteral("https://example.com")})
        EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, FileLocator::read(url)), FileIdentity{})
            << url.toStdString();
    const auto fifo = fx.service->makeIdentity(fileUrl(pipe), true);
    ASSERT_TRUE(fifo);
    EXPECT_FALSE(fifo->fileSize || fifo->contentHash);

    // A file that cannot be read keeps its size and gets no fingerprint.
    fx.hasher->failing = true;
    fx.cache->clear();
    EXPECT_EQ(fx.service->refreshSizeAndHash(FileIdentity{}, locatorOf(file)),
              (FileIdentity{{}, {}, {}, {}, std::nullopt, 5}));
    EXPECT_EQ(fx.service->makeIdentity(fileUrl(file), true).value_or(FileIdentity()).contentHash,
              std::nullopt);
}

TEST(FileIdentityService, HashCacheServesUnchangedFilesAndNoticesChanges)
{
    const QString file = writeFile("a.txt", "first");
    IdentityFixture fx;
    // A second service over the same cache, as the link store and the opener each have one.
    const FileIdentityService other(fx.cache, fx.service->platform());

    EXPECT_EQ(fx.service->makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(other.makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(fx.hasher->reads, 1);

    writeFile(file, "second, longer");
    EXPECT_EQ(other.makeIdentity(fileUrl(file), true)->contentHash, sha256sumOf(file));
    EXPECT_EQ(fx.hasher->reads, 2);
}

TEST(FileIdentityService, ResolvesBookmarksAndFallsBack)
{
    const QString file = writeFile("plan.txt", "plan");
    IdentityFixture fx;
    const QByteArray bookmark =
        fx.service->makeIdentity(fileUrl(file), false).value_or(FileIdentity()).bookmarkData;
    LogCapture log("morvane.FileIdentity");
    EXPECT_EQ(fx.service->resolveBookmark(bookmark, std::nullopt), (ResolvedFileIdentity{fileUrl(file), {}}));

    EXPECT_TRUE(log.lines().isEmpty());

    // Deleted: one log line, then the fallback (or nothing without one).
    ASSERT_TRUE(QFile::remove(file));
    const QString fallback = "file:///somewhere/else.txt";
    EXPECT_EQ(fx.service->resolveBookmark(bookmark, fallback), (ResolvedFileIdentity{fallback, {}}));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith("Failed to resolve file bookmark: "));
    EXPECT_FALSE(fx.service->resolveBookmark(bookmark, std::nullopt));
    EXPECT_FALSE(fx.service->resolveBookmark(std::nullopt, std::nullopt));
    EXPECT_EQ(fx.service->resolveBookmark(std::nullopt, fallback), (ResolvedFileIdentity{fallback, {}}));
    EXPECT_EQ(log.lines().size(), 2);
}
