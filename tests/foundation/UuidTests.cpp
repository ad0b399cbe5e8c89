#include "foundation/Uuid.h"

#include <QSet>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

TEST(UuidText, isQtsFormInUpperCaseAndReadsBackInEitherCase)
{
    for (int i = 0; i < 200; ++i) {
        const QUuid id = QUuid::createUuid();
        const QString text = uuidString(id);
        EXPECT_EQ(text, id.toString(QUuid::WithoutBraces).toUpper());
        EXPECT_EQ(parseUuid(text), id);
        EXPECT_EQ(parseUuid(text.toLower()), id);
    }
    EXPECT_EQ(uuidString(QUuid()), QStringLiteral("00000000-0000-0000-0000-000000000000"));
    EXPECT_EQ(parseUuid(QStringLiteral("00000000-0000-0000-0000-000000000000")), QUuid());
}

TEST(UuidText, refusesEverythingButTheDashedHexForm)
{
    const QString good = QStringLiteral("5A7F55F1-37EC-4C62-8EF2-2A32C58A411C");
    ASSERT_TRUE(parseUuid(good));
    for (const QString& text : {QStringLiteral("{5A7F55F1-37EC-4C62-8EF2-2A32C58A411C}"),
                                QStringLiteral("5A7F55F137EC-4C62-8EF2-2A32C58A411C0"),
                                QStringLiteral("5A7F55F1-37EC-4C62-8EF2_2A32C58A411C"),
                                QStringLiteral("5A7F55F1-37EC-4C62-8EF2-2A32C58A411G"),
                                QStringLiteral("5A7F55F1-37EC-4C62-8EF2-2A32C58A411\u0661"),
                                QStringLiteral("5A7F55F1-37EC-4C62-8EF2-2A32C58A411"), QString()})
        EXPECT_FALSE(parseUuid(text)) << text.toStdString();
}

TEST(UuidText, newIdentifiersAreRandomVersionFour)
{
    QSet<QUuid> made;
    for (int i = 0; i < 1000; ++i) {
        const QUuid id = newUuid();
        EXPECT_EQ(id.version(), QUuid::Random);
        EXPECT_EQ(id.variant(), QUuid::DCE);
        made.insert(id);
    }
    EXPECT_EQ(made.size(), 1000);
}

} // namespace
} // namespace morvane::test
