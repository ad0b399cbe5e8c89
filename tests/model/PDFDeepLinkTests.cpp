#include "model/FileLocator.h"
#include "model/PDFDeepLink.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// The page is read only from a file URL whose extension is "pdf" in any case.
TEST(FileLocator, ReadsUrlPathAndPageOnce)
{
    const std::pair<const char*, FileLocator> cases[] = {
        {"file:///a/b%20c.pdf#page=3", {true, QStringLiteral("/a/b c.pdf"), 3}},
        {"file:///a/Doc.PDF#page=3", {true, QStringLiteral("/a/Doc.PDF"), 3}},
        {"file:///a/pdf#page=3", {true, QStringLiteral("/a/pdf"), std::nullopt}},
        {"file:///a/b.txt#page=3", {true, QStringLiteral("/a/b.txt"), std::nullopt}},
        {"file://server/a.pdf#page=3", {true, std::nullopt, 3}},
        {"https://example.com/a.pdf#page=3", {true, std::nullopt, std::nullopt}},
        {"/a/b.pdf", {}},
    };
    for (const auto& [text, locator] : cases)
        EXPECT_EQ(FileLocator::read(QString::fromUtf8(text)), locator) << text;
}

TEST(PDFDeepLink, ReadsAPositivePageFromTheFragment)
{
    for (const char* seven : {"page=7", "PAGE=7", "7", "+7", "page=+7", " \n page=7 \t", "page=07"})
        EXPECT_EQ(PDFDeepLink::pageFromFragment(QString::fromUtf8(seven)), 7) << seven;
    EXPECT_EQ(PDFDeepLink::pageFromFragment("page=9223372036854775807"), 9223372036854775807LL);
    for (const char* none : {"", "page=0", "page=-2", "page=", "page=+", "page=x", "page=7 8",
                             "page=99999999999999999999", "p=3"})
        EXPECT_FALSE(PDFDeepLink::pageFromFragment(QString::fromUtf8(none))) << none;
    EXPECT_FALSE(PDFDeepLink::pageFromFragment(std::nullopt));
}

} // namespace
