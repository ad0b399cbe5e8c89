#pragma once

#include "foundation/Glyph.h"

#include <QColor>
#include <QIcon>
#include <QPainterPath>

class QPainter;

namespace morvane {

// The system's own glyph set: simple vector drawings in a 16×16 box, filled in one colour that the
// caller chooses (a type tint, white on an accent tile, the secondary ink).
QPainterPath glyphPath(Glyph glyph);

// Fills the glyph scaled into a square box.
void paintGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color);

// The glyph rendered at the usual icon sizes (16 to 64 pixels) in one colour, for buttons, menus and
// the tray.
QIcon glyphIcon(Glyph glyph, const QColor& color);

// The same with a thin rim of the opposite lightness around the ink, for a background we do not
// know: a tray panel has colours of its own, which our palette does not tell.
QIcon rimmedGlyphIcon(Glyph glyph, const QColor& color);

} // namespace morvane
