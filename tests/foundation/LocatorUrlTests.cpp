#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

TEST(LocatorUrl, KeepsTheTextItWasGiven)
{
    const QString texts[] = {
        QStringLiteral("HTTPS://Example.COM/A%20b?q=1#Frag"),
        QStringLiteral("file:///Users/a/../b//c.pdf#page=3"),
        QStringLiteral("message://%3Cabc@example.com%3E"),
        QStringLiteral("obsidian://open?vault=V&file=Notes%2FPlan.md"),
    };
    for (const QString& text : texts) {
        const auto url = LocatorUrl::parse(text);
        ASSERT_TRUE(url) << text.toStdString();
        EXPECT_EQ(url->text(), text);
    }
}

TEST(LocatorUrl, SplitsIntoParts)
{
    const auto url = LocatorUrl::parse(QStringLiteral("HTTPS://user@Ex%41mple.com:8080/a%20b/c.PDF?x=1&y&z=%2F#p%3D2"));
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
    EXPECT_EQ(url->textWithFragment(QStringLiteral("page=4")),
              QStringLiteral("HTTPS://user@Ex%41mple.com:8080/a%20b/c.PDF?x=1&y&z=%2F#page=4"));
    EXPECT_EQ(url->textWithFragment(std::nullopt), QStringLiteral("HTTPS://user@Ex%41mple.com:8080/a%20b/c.PDF?x=1&y&z=%2F"));
}

TEST(LocatorUrl, RefusesTextWithoutSchemeOrWithControlCharacters)
{
    for (const char* text : {"", "word", "/Users/a", "1http://x", ":x", "http://a\tb", "http://a\nb", "ht tp://x"})
        EXPECT_FALSE(LocatorUrl::parse(QString::fromUtf8(text))) << text;
    const auto noAuthority = LocatorUrl::parse(QStringLiteral("mailto:a@b.c"));
    ASSERT_TRUE(noAuthority);
    EXPECT_FALSE(noAuthority->host());
    EXPECT_EQ(noAuthority->path(), QStringLiteral("a@b.c"));
}

TEST(LocatorUrl, FileUrlsRoundTripAwkwardPaths)
{
    const QString paths[] = {
        QStringLiteral("/tmp/with space.txt"),
        QStringLiteral("/tmp/hash#and?query.pdf"),
        QStringLiteral("/tmp/100%.txt"),
        QStringLiteral("/tmp/Ünïcødé/日本語.md"),
        QStringLiteral("/tmp/a/../b//c"),
    };
    for (const QString& path : paths) {
        const QString text = LocatorUrl::fileUrlText(path, false);
        const auto url = LocatorUrl::parse(text);
        ASSERT_TRUE(url) << text.toStdString();
        EXPECT_TRUE(url->isFileUrl());
        EXPECT_EQ(url->path(), path);
        EXPECT_FALSE(url->fragment()) << text.toStdString();
        EXPECT_FALSE(url->encodedQuery()) << text.toStdString();
    }
    EXPECT_EQ(LocatorUrl::fileUrlText(QStringLiteral("/a b/c#d"), false), QStringLiteral("file:///a%20b/c%23d"));
    EXPECT_EQ(LocatorUrl::fileUrlText(QStringLiteral("/é"), false), QStringLiteral("file:///%C3%A9"));
}

TEST(LocatorUrl, FolderUrlsEndWithASlash)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/sub folder");
    QDir().mkpath(folder);
    EXPECT_TRUE(LocatorUrl::fileUrlText(folder).endsWith(QStringLiteral("/sub%20folder/")));
    EXPECT_FALSE(LocatorUrl::fileUrlText(folder + QStringLiteral("/missing")).endsWith(u'/'));
    const auto url = LocatorUrl::parse(LocatorUrl::fileUrlText(folder));
    EXPECT_EQ(url->lastPathComponent(), QStringLiteral("sub folder"));
}

TEST(PathText, ComponentsAndExtensions)
{
    struct Case { const char* path; const char* last; const char* ext; const char* withoutExt; };
    const Case cases[] = {
        {"/a/b.txt", "b.txt", "txt", "/a/b"},
        {"/a/b.tar.gz", "b.tar.gz", "gz", "/a/b.tar"},
        {"/a/.hidden", ".hidden", "", "/a/.hidden"},
        {"/a/folder/", "folder", "", "/a/folder/"},
        {"Notes/Plan.md", "Plan.md", "md", "Notes/Plan"},
        {"/", "/", "", "/"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(lastPathComponentOfPath(QString::fromUtf8(c.path)), QString::fromUtf8(c.last));
        EXPECT_EQ(pathExtensionOfPath(QString::fromUtf8(c.path)), QString::fromUtf8(c.ext));
        EXPECT_EQ(deletingPathExtension(QString::fromUtf8(c.path)), QString::fromUtf8(c.withoutExt));
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
    EXPECT_FALSE(parseUuid(QStringLiteral("{") + text + u'}'));
    EXPECT_FALSE(parseUuid(QStringLiteral("not-a-uuid")));
    EXPECT_FALSE(parseUuid(text.left(35) + u'G'));
}

} // namespace
