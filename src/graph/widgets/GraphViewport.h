#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace morvane {

// Zoom and pan of the graph canvas: `scale` screen pixels per layout unit, and `pan` the screen
// offset of the layout origin from the canvas centre. Drawing and pointer input share this mapping so
// that what is drawn is what is hit.
struct GraphViewport {
    static constexpr double maxScale = 3.0;
    // The farthest out the view goes, by a fit or by the user: far enough to hold a graph of a hundred
    // thousand links at rest in a window of ordinary size, so whatever the graph, the user can see it
    // all.
    static constexpr double fitMinScale = 0.005;
    // The toolbar's zoom buttons; a wheel notch with Ctrl zooms in by one step too.
    static constexpr double zoomInStep = 1.18;
    static constexpr double zoomOutStep = 0.85;
    // Grid cells are this many layout units wide; closer than the minimum they are not drawn.
    static constexpr double gridUnit = 48;
    static constexpr double minGridSpacing = 12;

    double scale = 1.0;
    QPointF pan;

    QPointF toScreen(QPointF layout, QSizeF canvas) const;
    QPointF toLayout(QPointF screen, QSizeF canvas) const;
    void zoomBy(double factor);
    // The grid spacing in pixels, or 0 when the grid is too dense to draw.
    double gridSpacing() const;
    // Cards follow the zoom within bounds, while positions take the full scale.
    double cardScale() const;
    // Puts the layout point at the canvas centre.
    void centreOn(QPointF layout);

    static double clampScale(double scale);
    // The zoom and pan that show the layout rectangle whole, with `margin` pixels around it, at no
    // more than natural size (and no less than fitMinScale).
    static GraphViewport fitting(const QRectF& layout, QSizeF canvas, double margin);
};

} // namespace morvane
