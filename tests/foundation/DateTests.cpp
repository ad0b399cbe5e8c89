#include "foundation/IsoDate.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

struct DateCase {
    const char* text;
    bool library;  // accepted by the library reader
    bool document; // accepted by the document reader
    qint64 msecs;  // expected epoch milliseconds when accepted
};

// 2024-05-01T09:30:12Z is 1714555812 seconds after the epoch.
const DateCase kDateCases[] = {
    {"2024-05-01T09:30:12.345Z", true, false, 1714555812345},
    {"2024-05-01T09:30:12.3Z", true, false, 1714555812300},
    {"2024-05-01T09:30:12.123456789Z", true, false, 1714555812123},
    {"2024-05-01T11:30:12.000+02:00", true, false, 1714555812000},
    {"2024-05-01T09:30:12Z", false, true, 1714555812000},
    {"2024-05-01T04:30:12-05:00", false, true, 1714555812000},
    {"2024-05-01T09:30:12.1234567890Z", false, false, 0},
    {"2024-05-01T09:30:12.Z", false, false, 0},
    {"2024-05-01T09:30:12.345", false, false, 0},
    {"2024-05-01 09:30:12.345Z", false, false, 0},
    {"2024-02-30T09:30:12.345Z", false, false, 0},
    {"2024-05-01T09:30:12.345Z ", false, false, 0},
    {"2024-05-01T09:30:12+0200", false, false, 0},
    {"", false, false, 0},
};

TEST(DateText, ReadersAreStrictAboutFractionsAndOffsets)
{
    for (const DateCase& c : kDateCases) {
        SCOPED_TRACE(c.text);
        const auto library = parseLibraryDate(QString::fromUtf8(c.text));
        const auto document = parseDocumentDate(QString::fromUtf8(c.text));
        EXPECT_EQ(library.has_value(), c.library);
        EXPECT_EQ(document.has_value(), c.document);
        if (library) {
            EXPECT_EQ(library->toMSecsSinceEpoch(), c.msecs);
        }
        if (document) {
            EXPECT_EQ(document->toMSecsSinceEpoch(), c.msecs);
        }
    }
}

} // namespace
