#pragma once

#include <QColor>

// Colour helpers the graph window's painters and menus share.
namespace morvane::GraphInks {

// The conventional red of commands that destroy something.
inline const QColor destructive(229, 57, 53);

inline QColor faded(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace morvane::GraphInks
