#include "DesktopTestSupport.h"

#include "desktop/PaintColors.h"

#include "foundation/SharedColors.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(Colors, ATwoAppearanceColourIsDarkOnlyInTheDarkAppearance)
{
    const Rgba dark{0.1, 0.2, 0.3, 1};
    const Rgba light{0.9, 0.8, 0.7, 0.5};
    EXPECT_EQ(adaptiveColor(Appearance::dark, dark, light), dark);
    EXPECT_EQ(adaptiveColor(Appearance::light, dark, light), light);
    EXPECT_EQ(adaptiveColor(std::nullopt, dark, light), light);

    // Resolved for painting: the service's appearance at the time of the paint, light without one.
    const auto darkService = test::appearanceService(Appearance::dark);
    const auto lightService = test::appearanceService(Appearance::light);
    EXPECT_EQ(paintColor(SharedColors::hairline, darkService.get()), QColor::fromRgbF(1, 1, 1, 0.12f));
    EXPECT_EQ(paintColor(SharedColors::hairline, lightService.get()), QColor::fromRgbF(0, 0, 0, 0.08f));
    EXPECT_EQ(paintColor(SharedColors::hairline, nullptr), QColor::fromRgbF(0, 0, 0, 0.08f));
}

} // namespace
} // namespace morvane
