#pragma once

#include <optional>

namespace morvane {

// Whether our windows are drawn light or dark.
enum class Appearance { light, dark };

// One colour as sRGB components in 0...1. Layers without a painting toolkit name colours with it;
// the desktop layer turns it into a QColor when it draws.
struct Rgba {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    // Opacity applied on top of the colour: it multiplies the alpha the colour already has.
    constexpr Rgba withOpacity(double opacity) const { return {red, green, blue, alpha * opacity}; }

    friend constexpr bool operator==(const Rgba&, const Rgba&) = default;
};

// The variant to draw for an appearance: the dark colour for a dark appearance, the light one for a
// light appearance and when no appearance is known.
constexpr Rgba adaptiveColor(std::optional<Appearance> appearance, Rgba dark, Rgba light)
{
    return appearance == Appearance::dark ? dark : light;
}

// A colour with one variant for light windows and one for dark ones. It is a plain value: the
// variant is picked each time something is drawn, so an appearance change shows at the next paint.
struct AppearanceColor {
    Rgba light;
    Rgba dark;

    constexpr Rgba in(std::optional<Appearance> appearance) const
    {
        return adaptiveColor(appearance, dark, light);
    }
    constexpr AppearanceColor withOpacity(double opacity) const
    {
        return {light.withOpacity(opacity), dark.withOpacity(opacity)};
    }

    friend constexpr bool operator==(const AppearanceColor&, const AppearanceColor&) = default;
};

} // namespace morvane
