#include "foundation/Text.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

TEST(Graphemes, CountsUserPerceivedCharacters)
{
    struct Case {
        QString text;
        qsizetype count;
    };
    const Case cases[] = {
        {QString(), 0},
        {QStringLiteral("abc"), 3},
        {QStringLiteral("e\u0301"), 1},                        // e + combining acute
        {QStringLiteral("\U0001F600\U0001F1E9\U0001F1EA"), 2}, // emoji, then a flag
        {QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"), 1}, // ZWJ family
        {QStringLiteral("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7"), 2},                   // two flags
        {QStringLiteral("\r\n"), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(graphemeCount(c.text), c.count) << c.text.toStdString();
}

TEST(Graphemes, ManyEmojiCountOnePerEmoji)
{
    EXPECT_EQ(graphemeCount(QStringLiteral("\U0001F600").repeated(4096)), 4096);
}

TEST(TextComparison, CanonicalEquivalenceAndTrimming)
{
    EXPECT_TRUE(canonicallyEqual(QStringLiteral("Caf\u00e9"), QStringLiteral("Cafe\u0301")));
    EXPECT_FALSE(canonicallyEqual(QStringLiteral("Cafe"), QStringLiteral("Caf\u00e9")));
    EXPECT_EQ(trimmedText(QStringLiteral(" \t\n\u00a0\u2028 x y \r\n")), QStringLiteral("x y"));
}

} // namespace
