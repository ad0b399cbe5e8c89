#pragma once

#include <QColor>
#include <QLineF>
#include <QList>

class QImage;

namespace morvane {

// Strokes straight lines of any width into a premultiplied ARGB32 (or opaque RGB32) image with antialiased
// edges and flat ends, blending source-over. QPainter's antialiased wide pens cost time in proportion to the
// area a line spans rather than the pixels it covers, which is far too slow for the thousands of
// long edges the graph draws every layout tick; this walks only the covered pixels. With a dash
// length, lines alternate that many pixels drawn and that many skipped, from their start.
void strokeLines(QImage& image, const QList<QLineF>& lines, const QColor& color, double width,
                 double dash = 0);

} // namespace morvane
