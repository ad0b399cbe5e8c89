#include "foundation/Uuid.h"
#include "library/StoredIdMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace morvane;

namespace {

// Ids are read eight digits at a time, so every byte next to the digit ranges must still be refused
// wherever it stands, and keys must keep the order of the texts.
TEST(StoredIdKey, TakesOnlyUpperCaseHexDigitsAndKeepsTheTextsOrder)
{
    const QByteArray id = "0123ABCD-4567-89EF-FEDC-BA9876543210";
    const std::optional<StoredIdKey> key = writtenIdKey(id);
    ASSERT_TRUE(key);
    EXPECT_EQ(uuidOfKey(*key), *parseUuid(QString::fromLatin1(id)));
    for (qsizetype i = 0; i < id.size(); ++i) {
        for (const char byte : {'/', ':', '@', 'G', 'a', 'f', '-', '\0', '\x80', '\xB0', '\xC6'}) {
            QByteArray changed = id;
            changed[i] = byte;
            if (changed != id) {
                EXPECT_FALSE(writtenIdKey(changed)) << "byte " << int(byte) << " at " << i;
            }
        }
    }
    QList<QByteArray> texts;
    for (int i = 0; i < 200; ++i)
        texts.append(uuidString(QUuid::createUuid()).toLatin1());
    std::sort(texts.begin(), texts.end());
    for (qsizetype i = 1; i < texts.size(); ++i) {
        const StoredIdKey before = *writtenIdKey(texts[i - 1]);
        const StoredIdKey after = *writtenIdKey(texts[i]);
        EXPECT_LT(std::tie(before.high, before.low), std::tie(after.high, after.low));
        EXPECT_EQ(uuidString(uuidOfKey(after)).toLatin1(), texts[i]);
    }
}

} // namespace
