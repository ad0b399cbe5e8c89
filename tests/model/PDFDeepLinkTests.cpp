#include "model/FileLocator.h"
#include "model/PDFDeepLink.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

TEST(PDFDeepLink, ReadsOnlyPdfFileUrls)
{
    const auto upper = PDFDeepLink::fromString(QStringLiteral("file:///a/Doc.PDF#page=3"));
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->fileURL, QStringLiteral("file:///a/Doc.PDF#page=3"));
    EXPECT_EQ(upper->page, 3);

    const auto bare = PDFDeepLink::fromString(QStringLiteral("file:///a/Doc.pdf"));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->page);

    for (const char* text :
         {"https://a.com/Doc.pdf#page=3", "file:///a/Doc.txt#page=3", "file:///a/pdf", "not a url"})
        EXPECT_FALSE(PDFDeepLink::fromString(QString::fromUtf8(text))) << text;
}

TEST(FileLocator, ReadsUrlPathAndPageOnce)
{
    const std::pair<const char*, FileLocator> cases[] = {
        {"file:///a/b%20c.pdf#page=3", {true, QStringLiteral("/a/b c.pdf"), 3}},
        {"file:///a/b.txt#page=3", {true, QStringLiteral("/a/b.txt"), std::nullopt}},
        {"file://server/a.pdf#page=3", {true, std::nullopt, 3}},
        {"https://example.com/a.pdf#page=3", {true, std::nullopt, std::nullopt}},
        {"/a/b.pdf", {}},
    };
    for (const auto& [text, locator] : cases)
        EXPECT_EQ(FileLocator::read(QString::fromUtf8(text)), locator) << text;
}

TEST(PDFDeepLink, PageFragmentTable)
{
    struct Case {
        std::optional<QString> fragment;
        std::optional<qint64> page;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral("page=3"), 3},
        {QStringLiteral("PAGE=7"), 7},
        {QStringLiteral("7"), 7},
        {QStringLiteral("+7"), 7},
        {QStringLiteral("page=+7"), 7},
        {QStringLiteral(" \n page=7 \t"), 7},
        {QStringLiteral("page=07"), 7},
        {QStringLiteral("page=0"), std::nullopt},
        {QStringLiteral("page=-2"), std::nullopt},
        {QStringLiteral("page="), std::nullopt},
        {QStringLiteral("page=+"), std::nullopt},
        {QStringLiteral("page=x"), std::nullopt},
        {QStringLiteral("page=7 8"), std::nullopt},
        {QStringLiteral("page=99999999999999999999"), std::nullopt},
        {QStringLiteral("page=9223372036854775807"), 9223372036854775807LL},
        {QStringLiteral("p=3"), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PDFDeepLink::pageFromFragment(c.fragment), c.page)
            << c.fragment.value_or(QStringLiteral("<none>")).toStdString();
}

TEST(PDFDeepLink, WritesThePageIntoTheFragment)
{
    EXPECT_EQ((PDFDeepLink{QStringLiteral("file:///a/b%20c.pdf"), 12}).url(),
              QStringLiteral("file:///a/b%20c.pdf#page=12"));
    EXPECT_EQ((PDFDeepLink{QStringLiteral("file:///a/b.pdf"), std::nullopt}).url(),
              QStringLiteral("file:///a/b.pdf"));
    EXPECT_EQ(PDFDeepLink::fromString(QStringLiteral("file:///a/b.pdf#PAGE=07"))->url(),
              QStringLiteral("file:///a/b.pdf#page=7"));
    // A fragment that names no page is written back unchanged.
    EXPECT_EQ(PDFDeepLink::fromString(QStringLiteral("file:///a/b.pdf#section2"))->url(),
              QStringLiteral("file:///a/b.pdf#section2"));
}

} // namespace
