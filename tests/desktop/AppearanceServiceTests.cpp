#include "TestEnvironment.h"
#include "desktop/AppearanceService.h"

#include <QApplication>
#include <QPalette>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(AppearanceService, TheOverrideWinsAndOtherwiseTheWindowColourDecides)
{
    const QColor darkWindow(0x2a, 0x2a, 0x2e);
    const QColor lightWindow(0xef, 0xef, 0xef);
    EXPECT_EQ(AppearanceService::resolve("dark", lightWindow), Appearance::dark);
    EXPECT_EQ(AppearanceService::resolve(" LIGHT\n", darkWindow), Appearance::light);
    EXPECT_EQ(AppearanceService::resolve("", darkWindow), Appearance::dark);
    EXPECT_EQ(AppearanceService::resolve("sepia", lightWindow), Appearance::light);
}

TEST(AppearanceService, ADarkThemeSwitchIsAnnouncedAndTintsGlyphsLight)
{
    const test::ScopedEnvironmentVariable noOverride("MORVANE_APPEARANCE", std::nullopt);
    const QPalette original = QApplication::palette();
    QPalette light = original;
    light.setColor(QPalette::Window, QColor(0xf0, 0xf0, 0xf0));
    const test::ScopedApplicationPalette restore(light);

    AppearanceService service;
    ASSERT_EQ(service.appearance(), Appearance::light);
    const QColor lightTint = service.glyphTint();
    QSignalSpy changed(&service, &AppearanceService::appearanceChanged);

    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    QApplication::setPalette(dark);

    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(service.appearance(), Appearance::dark);
    EXPECT_GT(service.glyphTint().lightnessF(), 0.5);
    EXPECT_LT(lightTint.lightnessF(), 0.5);
}

} // namespace
} // namespace morvane
