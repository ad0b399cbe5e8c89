#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using namespace morvane;

namespace {

TEST(LocatorUrl, SplitsIntoParts)
{
    const QString withoutFragment = QStringLiteral("HTTPS://user@Ex%41mple.com:8080/a%20b/c.PDF?x=1&y&z=%2F");
    const auto url = LocatorUrl::parse(withoutFragment + QStringLiteral("#p%3D2"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), QStringLiteral("HTTPS"));
    EXPECT_EQ(url->host(), QStringLiteral("ExAmple.com"));
    EXPECT_EQ(url->encodedPath(), QStringLiteral("/a%20b/c.PDF"));
    EXPECT_EQ(url->path(), QStringLiteral("/a b/c.PDF"));
    EXPECT_EQ(url->lastPathComponent(), QStringLiteral("c.PDF"));
    EXPECT_EQ(url->pathExtension(), QStringLiteral("PDF"));
    const QList<QueryItem> expected{{QStringLiteral("x"), QStringLiteral("1")},
                                    {QStringLiteral("y"), std::nullopt},
                                    {QStringLiteral("z"), QStringLiteral("/")}};
    EXPECT_EQ(url->queryItems(), expected);
    EXPECT_EQ(url->encodedFragment(), QStringLiteral("p%3D2"));
    EXPECT_EQ(url->fragment(), QStringLiteral("p=2"));
    EXPECT_EQ(url->textWithFragment(QStringLiteral("page=4")), withoutFragment + QStringLiteral("#page=4"));
    EXPECT_EQ(url->textWithFragment(std::nullopt), withoutFragment);
}

TEST(LocatorUrl, KeepsTheTextItWasGivenAndRefusesTextWithoutSchemeOrWithControlCharacters)
{
    for (const char* text :
         {"HTTPS://Example.COM/A%20b?q=1#Frag", "file:///Users/a/../b//c.pdf#page=3",
          "message://%3Cabc@example.com%3E", "obsidian://open?vault=V&file=Notes%2FPlan.md"}) {
        const auto url = LocatorUrl::parse(QString::fromUtf8(text));
        ASSERT_TRUE(url) << text;
        EXPECT_EQ(url->text(), QString::fromUtf8(text));
    }
    for (const char* text :
         {"", "word", "/Users/a", "1http://x", ":x", "http://a\tb", "http://a\nb", "ht tp://"})
        EXPECT_FALSE(LocatorUrl::parse(QString::fromUtf8(text))) << text;
    const auto noAuthority = LocatorUrl::parse(QStringLiteral("mailto:a@b.c"));
    ASSERT_TRUE(noAuthority);
    EXPECT_FALSE(noAuthority->host());
    EXPECT_EQ(noAuthority->path(), QStringLiteral("a@b.c"));
}

TEST(LocatorUrl, FileUrlsRoundTripAwkwardPaths)
{
    for (const QString path : {"/tmp/with space.txt", "/tmp/hash#and?query.pdf", "/tmp/100%.txt",
                               "/tmp/Ünïcødé/日本語.md", "/tmp/a/../b//c"}) {
        const QString text = LocatorUrl::fileUrlText(path, false);
        const auto url = LocatorUrl::parse(text);
        ASSERT_TRUE(url) << text.toStdString();
        EXPECT_TRUE(url->isFileUrl());
        EXPECT_EQ(url->path(), path);
        EXPECT_FALSE(url->fragment()) << text.toStdString();
        EXPECT_FALSE(url->encodedQuery()) << text.toStdString();
    }
    EXPECT_EQ(LocatorUrl::fileUrlText(QStringLiteral("/a b/c#d"), false), "file:///a%20b/c%23d");
    EXPECT_EQ(LocatorUrl::fileUrlText(QStringLiteral("/é"), false), QStringLiteral("file:///%C3%A9"));
}

TEST(LocatorUrl, LocalFilePathsOnlyForLocalAbsoluteFileUrlsWithoutNul)
{
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"file:///a%20b/c.txt", QStringLiteral("/a b/c.txt")},
        {"file:///a/folder//", QStringLiteral("/a/folder")},
        {"file:///", QStringLiteral("/")},
        {"FILE://LocalHost/a", QStringLiteral("/a")},
        {"file:/a/../b", QStringLiteral("/a/../b")},
        {"file:///a.pdf#page=2", QStringLiteral("/a.pdf")},
        {"file://server/a", std::nullopt},
        {"file:relative/a", std::nullopt},
        {"file:///a%00.pdf", std::nullopt},
        {"https://example.com/a", std::nullopt},
        {"/a/b", std::nullopt},
    };
    for (const auto& [text, path] : cases)
        EXPECT_EQ(localPathOfFileUrl(QString::fromUtf8(text)), path) << text;
}

TEST(LocatorUrl, FolderUrlsEndWithASlash)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/sub folder");
    QDir().mkpath(folder);
    EXPECT_TRUE(LocatorUrl::fileUrlText(folder).endsWith(QStringLiteral("/sub%20folder/")));
    EXPECT_FALSE(LocatorUrl::fileUrlText(folder + QStringLiteral("/missing")).endsWith(u'/'));
    EXPECT_EQ(LocatorUrl::parse(LocatorUrl::fileUrlText(folder))->lastPathComponent(), "sub folder");
}

TEST(PathText, ComponentsAndExtensions)
{
    const std::array<const char*, 4> cases[] = {
        // path, last component, extension, without extension
        {"/a/b.txt", "b.txt", "txt", "/a/b"},
        {"/a/b.tar.gz", "b.tar.gz", "gz", "/a/b.tar"},
        {"/a/.hidden", ".hidden", "", "/a/.hidden"},
        {"/a/folder/", "folder", "", "/a/folder/"},
        {"Notes/Plan.md", "Plan.md", "md", "Notes/Plan"},
        {"/", "/", "", "/"},
        {"", "", "", ""},
    };
    for (const auto& [path, last, ext, withoutExt] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(lastPathComponentOfPath(QString::fromUtf8(path)), QString::fromUtf8(last));
        EXPECT_EQ(pathExtensionOfPath(QString::fromUtf8(path)), QString::fromUtf8(ext));
        EXPECT_EQ(deletingPathExtension(QString::fromUtf8(path)), QString::fromUtf8(withoutExt));
    }
}

TEST(UuidText, IsUpperCaseWithoutBracesAndReadsEitherCase)
{
    const QUuid uuid = QUuid::createUuid();
    const QString text = uuidString(uuid);
    EXPECT_EQ(text, text.toUpper());
    EXPECT_EQ(text.size(), 36);
    EXPECT_EQ(parseUuid(text), uuid);
    EXPECT_EQ(parseUuid(text.toLower()), uuid);
    for (const QString& refused : {u'{' + text + u'}', QStringLiteral("not-a-uuid"), text.left(35) + u'G'})
        EXPECT_FALSE(parseUuid(refused)) << refused.toStdString();
}

} // namespace
