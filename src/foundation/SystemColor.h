#pragma once

#include "AppearanceColor.h"

namespace morvane {

// The desktop's named colours that both windows draw with: the accent, the tints of the link types
// and badges, and the ink of primary, secondary and tertiary text.
enum class SystemColor {
    accent,
    blue,
    teal,
    indigo,
    orange,
    purple,
    green,
    pink,
    mint,
    yellow,
    label,
    secondaryLabel,
    tertiaryLabel,
    controlBackground,
};

namespace detail {
constexpr Rgba rgb8(int red, int green, int blue, double alpha = 1)
{
    return {red / 255.0, green / 255.0, blue / 255.0, alpha};
}
} // namespace detail

// The one table of light and dark values. The dark variants are a little brighter so that a tint
// keeps its contrast on dark cards. Linux desktops have no common accent setting, so the accent is
// the blue.
constexpr AppearanceColor systemColor(SystemColor color)
{
    using detail::rgb8;
    switch (color) {
    case SystemColor::accent:
    case SystemColor::blue:
        return {rgb8(0, 122, 255), rgb8(10, 132, 255)};
    case SystemColor::teal:
        return {rgb8(48, 176, 199), rgb8(64, 200, 224)};
    case SystemColor::indigo:
        return {rgb8(88, 86, 214), rgb8(94, 92, 230)};
    case SystemColor::orange:
        return {rgb8(255, 149, 0), rgb8(255, 159, 10)};
    case SystemColor::purple:
        return {rgb8(175, 82, 222), rgb8(191, 90, 242)};
    case SystemColor::green:
        return {rgb8(52, 199, 89), rgb8(48, 209, 88)};
    case SystemColor::pink:
        return {rgb8(255, 45, 85), rgb8(255, 55, 95)};
    case SystemColor::mint:
        return {rgb8(0, 199, 190), rgb8(99, 230, 226)};
    case SystemColor::yellow:
        return {rgb8(255, 204, 0), rgb8(255, 214, 10)};
    case SystemColor::label:
        return {rgb8(0, 0, 0, 0.85), rgb8(255, 255, 255, 0.85)};
    case SystemColor::secondaryLabel:
        return {rgb8(0, 0, 0, 0.5), rgb8(255, 255, 255, 0.55)};
    case SystemColor::tertiaryLabel:
        return {rgb8(0, 0, 0, 0.26), rgb8(255, 255, 255, 0.25)};
    case SystemColor::controlBackground:
        return {rgb8(255, 255, 255), rgb8(30, 30, 30)};
    }
    return {};
}

} // namespace morvane
