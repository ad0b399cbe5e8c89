#pragma once

#include <QColor>
#include <QIcon>
#include <QPainterPath>

namespace morvane {

// The system's own small glyph set, drawn as vector paths in a 16×16 box and tinted by the caller.
enum class Glyph { chainLink };

QPainterPath glyphPath(Glyph glyph);

// The glyph rendered at the usual icon sizes (16 to 64 pixels) in one colour.
QIcon glyphIcon(Glyph glyph, const QColor& color);

} // namespace morvane
