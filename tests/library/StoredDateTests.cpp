#include "foundation/IsoDate.h"
#include "library/LinkRow.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// The stored-date reader has a fast path of its own for the written form; every text must read as the
// general reader reads it, refusals included.
TEST(StoredDate, ReadsEveryTextAsTheGeneralReaderDoes)
{
    QList<QByteArray> texts = {
        "0000-01-01T00:00:00.000Z",    "0001-01-01T00:00:00.000Z",      "9999-12-31T23:59:59.999Z",
        "1900-02-29T00:00:00.000Z",    "2000-02-29T12:00:00.000Z",      "2023-02-29T00:00:00.000Z",
        "2024-02-30T00:00:00.000Z",    "2024-04-31T00:00:00.000Z",      "2024-00-10T00:00:00.000Z",
        "2024-13-10T00:00:00.000Z",    "2024-05-00T00:00:00.000Z",      "2024-05-01T24:00:00.000Z",
        "2024-05-01T23:60:00.000Z",    "2024-05-01T23:59:60.000Z",      "2024-05-01T09:30:12.3Z",
        "2024-05-01T09:30:12.345678Z", "2024-05-01T09:30:12.345+02:00", "2024-05-01T09:30:12.345z",
        "2024-05-01 09:30:12.345Z",    "2024-05-01T09:30:12Z",          "2024-05-01T09:30:1a.345Z",
        "+024-05-01T09:30:12.345Z",    "2024-05-01T09:30:12.345Z ",     "",
        "1969-12-31T23:59:59.999Z"};
    // Every day of years around the turns the calendar arithmetic must get right.
    for (const int year : {1, 4, 100, 400, 1600, 1899, 1900, 1969, 1970, 2000, 2024, 2100, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day)
                texts.append(QStringLiteral("%1-%2-%3T%4:07:59.%5Z")
                                 .arg(year, 4, 10, QLatin1Char('0'))
                                 .arg(month, 2, 10, QLatin1Char('0'))
                                 .arg(day, 2, 10, QLatin1Char('0'))
                                 .arg(day % 24, 2, 10, QLatin1Char('0'))
                                 .arg(day * 31, 3, 10, QLatin1Char('0'))
                                 .toUtf8());
        }
    }
    for (const QByteArray& text : texts) {
        SCOPED_TRACE(text.toStdString());
        const std::optional<QDateTime> expected = parseLibraryDate(QByteArrayView(text));
        const std::optional<QDateTime> actual = readStoredDate(text);
        ASSERT_EQ(actual.has_value(), expected.has_value());
        if (expected) {
            EXPECT_EQ(actual->toMSecsSinceEpoch(), expected->toMSecsSinceEpoch());
            EXPECT_EQ(actual->timeSpec(), Qt::UTC);
            EXPECT_EQ(libraryDateString(*actual), libraryDateString(*expected));
        }
    }
}

} // namespace
