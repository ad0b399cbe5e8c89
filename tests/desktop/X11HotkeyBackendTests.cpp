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

} // namespace
} // namespace morvane
