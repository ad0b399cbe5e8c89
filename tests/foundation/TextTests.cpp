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
        {"abc", 3},
        {"e\u0301", 1},                                                    // e + combining acute
        {"\U0001F600\U0001F1E9\U0001F1EA", 2},                             // emoji, then a flag
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 1}, // ZWJ family
        {"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2},                   // two flags
        {"\r\n", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(graphemeCount(c.text), c.count) << c.text.toStdString();
}

} // namespace
