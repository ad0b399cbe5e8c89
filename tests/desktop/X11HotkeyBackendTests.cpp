#include "desktop/X11Display.h"
#include "desktop/X11HotkeyBackend.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(X11HotkeyBackend, WithoutAnX11DisplayEveryRegistrationFails)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        GTEST_SKIP() << "on X11 the end-to-end test covers the real grabs";
    X11HotkeyBackend backend;
    EXPECT_FALSE(backend.isAvailable());
    EXPECT_EQ(backend.registerHotkey(37, 0x1100, {0, 1}).status, HotkeyStatus::noDisplay);
}

// Qt alone starts on Wayland wherever a Wayland display is named; Morvane asks for X11 (Xwayland)
// wherever an X display is named, and leaves a platform the user chose alone.
TEST(X11Display, AnXDisplayIsPreferredUnlessAPlatformWasChosen)
{
    struct Case {
        QByteArray chosen, display;
        std::optional<QByteArray> preferred;
    };
    for (const Case& c : {Case{"", ":1.0", "xcb"}, Case{"", "", std::nullopt},
                          Case{"wayland", ":0", std::nullopt}, Case{"xcb", ":0", std::nullopt}})
        EXPECT_EQ(preferredQtPlatform(c.chosen, c.display), c.preferred)
            << c.chosen.constData() << "|" << c.display.constData();
}

} // namespace
} // namespace morvane
