#pragma once

#include <QFont>

namespace morvane {

// The named text sizes of both windows. Sizes in points are pixels here, and every text is drawn in
// DejaVu Sans, which also has the glyphs the hints use (↔ and the arrows).
enum class TextStyle { title2, title3, headline, body, subheadline, caption, caption2 };

// The font of a style; the headline is semibold, the others regular.
QFont textFont(TextStyle style);

// DejaVu Sans at a pixel size and weight, for texts sized in points rather than by style.
QFont systemFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);

} // namespace morvane
