#pragma once

#include "foundation/AppearanceColor.h"

// The colours that carry the graph's meaning: selection and keyboard accents, relation and
// suggestion edges, link health and the grid. Window chrome comes from the shared colours.
namespace morvane::GraphPalette {

inline constexpr AppearanceColor accent{{0.2, 0.55, 0.92, 1.0}, {0.36, 0.66, 1.0, 1.0}};
inline constexpr AppearanceColor previewEdge = accent;
inline constexpr AppearanceColor highlightEdge = accent.withOpacity(0.66);
inline constexpr AppearanceColor neighborEdge = accent.withOpacity(0.32);
inline constexpr AppearanceColor accentSoft = accent.withOpacity(0.16);
inline constexpr AppearanceColor keyboardFocus{{0.95, 0.62, 0.18, 1.0}, {1.0, 0.72, 0.26, 1.0}};
// Translucent for strokes; the ink is opaque, for text.
inline constexpr AppearanceColor suggestion{{0.3, 0.68, 0.46, 0.72}, {0.42, 0.82, 0.58, 0.72}};
inline constexpr AppearanceColor suggestionInk{{0.16, 0.48, 0.3, 1.0}, {0.64, 0.92, 0.72, 1.0}};
inline constexpr AppearanceColor weak{{0.93, 0.66, 0.18, 1.0}, {1.0, 0.76, 0.26, 1.0}};
inline constexpr AppearanceColor orphan{{0.88, 0.42, 0.28, 1.0}, {1.0, 0.52, 0.38, 1.0}};
inline constexpr AppearanceColor relationEdge{{0.34, 0.44, 0.56, 0.22}, {0.62, 0.7, 0.82, 0.26}};
inline constexpr AppearanceColor grid{{0.34, 0.44, 0.56, 0.08}, {0.76, 0.82, 0.9, 0.08}};

} // namespace morvane::GraphPalette
