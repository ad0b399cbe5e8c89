#include "foundation/IsoDate.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvane;

namespace {

TEST(DateText, ReadersAreStrictAboutFractionsAndOffsets)
{
    // 2024-05-01T09:30:12Z is 1714555812 seconds after the epoch. The library reader takes 1-9 fraction
    // digits and refuses none; the document reader takes whole seconds only.
    const std::tuple<const char*, qint64, bool> accepted[] = {
        {"2024-05-01T09:30:12.345Z", 1714555812345, true},
        {"2024-05-01T09:30:12.3Z", 1714555812300, true},
        {"2024-05-01T09:30:12.123456789Z", 1714555812123, true},
        {"2024-05-01T11:30:12.000+02:00", 1714555812000, true},
        {"2024-05-01T09:30:12Z", 1714555812000, false},
        {"2024-05-01T04:30:12-05:00", 1714555812000, false},
    };
    for (const auto& [text, msecs, library] : accepted) {
        const auto read =
            library ? parseLibraryDate(QString::fromUtf8(text)) : parseDocumentDate(QString::fromUtf8(text));
        EXPECT_EQ(read.value_or(QDateTime()).toMSecsSinceEpoch(), msecs) << text;
        EXPECT_FALSE(library ? parseDocumentDate(QString::fromUtf8(text))
                             : parseLibraryDate(QString::fromUtf8(text)))
            << text;
    }
    for (const char* refused :
         {"2024-05-01T09:30:12.1234567890Z", "2024-05-01T09:30:12.Z", "2024-05-01T09:30:12.345",
          "2024-05-01 09:30:12.345Z", "2024-02-30T09:30:12.345Z", "2024-05-01T09:30:12.345Z ",
          "2024-05-01T09:30:12+0200", ""})
        EXPECT_FALSE(parseLibraryDate(QString::fromUtf8(refused)) ||
                     parseDocumentDate(QString::fromUtf8(refused)))
            << refused;
}

// The library's date text is written by hand for the common years; it must be what Qt's formatter
// writes, at every edge of a day, month, leap year and the range, in any time spec.
TEST(DateText, LibraryTextIsTheFormattersAcrossTheRange)
{
    const auto formatter = [](const QDateTime& date) {
        return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    };
    QList<qint64> msecs{0,
                        1,
                        -1,
                        86399999,
                        86400000,
                        951782400000 /* 2000-02-29 */,
                        4107542399999 /* 2100-02-28T23:59:59.999 */,
                        4107542400000,
                        253402300799999,
                        253402300800000,
                        -62135596800000 /* 0001-01-01 */};
    std::mt19937_64 random(61);
    std::uniform_int_distribution<qint64> anyDate(-62135596800000, 260000000000000);
    for (int i = 0; i < 20000; ++i)
        msecs.append(anyDate(random));
    for (const qint64 ms : msecs) {
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        EXPECT_EQ(libraryDateString(utc), formatter(utc)) << ms;
        const QDateTime offset = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, -5 * 3600);
        EXPECT_EQ(libraryDateString(offset), formatter(offset)) << ms;
    }
    EXPECT_EQ(libraryDateString(QDateTime()), formatter(QDateTime()));
}

} // namespace
