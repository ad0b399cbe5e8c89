#include "desktop/X11Display.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

// Qt alone starts on Wayland wherever a Wayland display is named; Morvane asks for X11 (Xwayland)
// wherever an X display is named, and leaves a platform the user chose alone.
TEST(X11Display, AnXDisplayIsPreferredUnlessAPlatformWasChosen)
{
    struct Case {
        QByteArray chosen, display;
        std::optional<QByteArray> preferred;
    };
    for (const Case& c : {Case{"", ":0", "xcb"}, Case{"", ":1.0", "xcb"}, Case{"", "", std::nullopt},
                          Case{"wayland", ":0", std::nullopt}, Case{"xcb", ":0", std::nullopt},
                          Case{"offscreen", "", std::nullopt}})
        EXPECT_EQ(preferredQtPlatform(c.chosen, c.display), c.preferred)
            << c.chosen.constData() << "|" << c.display.constData();
}

} // namespace
} // namespace morvane
