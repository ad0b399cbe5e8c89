#include "foundation/LocatorUrl.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

TEST(LocatorUrl, SplitsIntoParts)
{
    const QString withoutFragment = "HTTPS://user@Ex%41mple.com:8080/a%20b/c.PDF?x=1&y&z=%2F";
    const auto url = LocatorUrl::parse(withoutFragment + "#p%3D2");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "HTTPS");
    EXPECT_EQ(url->host(), "ExAmple.com");
    EXPECT_EQ(url->encodedPath(), "/a%20b/c.PDF");
    EXPECT_EQ(url->path(), "/a b/c.PDF");
    EXPECT_EQ(url->lastPathComponent(), "c.PDF");
    EXPECT_EQ(url->pathExtension(), "PDF");
    const QList<QueryItem> expected{{"x", "1"}, {"y", std::nullopt}, {"z", "/"}};
    EXPECT_EQ(url->queryItems(), expected);
    EXPECT_EQ(url->encodedFragment(), "p%3D2");
    EXPECT_EQ(url->fragment(), "p=2");
    EXPECT_EQ(url->textWithFragment("page=4"), withoutFragment + "#page=4");
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
    const auto noAuthority = LocatorUrl::parse("mailto:a@b.c");
    ASSERT_TRUE(noAuthority);
    EXPECT_FALSE(noAuthority->host());
    EXPECT_EQ(noAuthority->path(), "a@b.c");
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
    EXPECT_EQ(LocatorUrl::fileUrlText("/a b/c#d", false), "file:///a%20b/c%23d");
    EXPECT_EQ(LocatorUrl::fileUrlText("/é", false), "file:///%C3%A9");
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

} // namespace
