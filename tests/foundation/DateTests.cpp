#include "foundation/IsoDate.h"

#include <gtest/gtest.h>

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

} // namespace
