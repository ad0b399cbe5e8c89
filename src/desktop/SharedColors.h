#pragma once

#include "foundation/AppearanceColor.h"
#include "foundation/SystemColor.h"

// The window-chrome colours that the quick panel and the graph window share, so both have the same
// background, cards, chrome and hairlines in either appearance.
namespace morvane::SharedColors {

// Top and bottom stops of the top-to-bottom window background.
inline constexpr AppearanceColor backgroundTop{{0.99, 0.985, 0.965, 1.0}, {0.075, 0.082, 0.092, 1.0}};
inline constexpr AppearanceColor backgroundBottom{{0.955, 0.975, 0.985, 1.0}, {0.045, 0.052, 0.062, 1.0}};
// The graph toolbar and the panel's header and search field.
inline constexpr AppearanceColor chromeFill{{1.0, 1.0, 1.0, 0.78}, {0.13, 0.14, 0.155, 0.86}};
// Result rows, the panel body, the graph's overlays and cards.
inline constexpr AppearanceColor cardFill{{1.0, 1.0, 1.0, 0.94}, {0.17, 0.18, 0.2, 0.96}};
// Strokes and separators.
inline constexpr AppearanceColor hairline{{0.0, 0.0, 0.0, 0.08}, {1.0, 1.0, 1.0, 0.12}};
// Secondary text of the graph's overlays and labels.
inline constexpr AppearanceColor secondaryInk{{0.0, 0.0, 0.0, 0.58}, {1.0, 1.0, 1.0, 0.62}};
// The panel's highlight wash: the accent, faintly.
inline constexpr AppearanceColor accentWash = systemColor(SystemColor::accent).withOpacity(0.11);

} // namespace morvane::SharedColors
