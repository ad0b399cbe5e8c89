#pragma once

#include "foundation/AppearanceColor.h"
#include "foundation/SystemColor.h"

// The inks of the Preferences window beyond the shared system colours.
namespace morvane::PreferenceColors {

inline constexpr AppearanceColor red{{1.0, 59 / 255.0, 48 / 255.0, 1.0}, {1.0, 69 / 255.0, 58 / 255.0, 1.0}};
inline constexpr AppearanceColor accent = systemColor(SystemColor::accent);
inline constexpr AppearanceColor blue = systemColor(SystemColor::blue);
inline constexpr AppearanceColor green = systemColor(SystemColor::green);
inline constexpr AppearanceColor orange = systemColor(SystemColor::orange);
inline constexpr AppearanceColor primary = systemColor(SystemColor::label);
inline constexpr AppearanceColor secondary = systemColor(SystemColor::secondaryLabel);
inline constexpr AppearanceColor tertiary = systemColor(SystemColor::tertiaryLabel);
inline constexpr AppearanceColor sidebarFill = systemColor(SystemColor::controlBackground);
// Card backgrounds: the colour behind editable text.
inline constexpr AppearanceColor textBackground{{1.0, 1.0, 1.0, 1.0}, {0.12, 0.12, 0.12, 1.0}};
inline constexpr AppearanceColor separator{{0.0, 0.0, 0.0, 0.1}, {1.0, 1.0, 1.0, 0.1}};
// The grey behind a listed folder.
inline constexpr AppearanceColor folderRowFill{{0.0, 0.0, 0.0, 0.1 * 0.08}, {1.0, 1.0, 1.0, 0.1 * 0.08}};
// The grey behind a sidebar entry while the mouse button is down on it.
inline constexpr AppearanceColor pressedFill{{0.0, 0.0, 0.0, 0.14}, {1.0, 1.0, 1.0, 0.14}};

} // namespace morvane::PreferenceColors
