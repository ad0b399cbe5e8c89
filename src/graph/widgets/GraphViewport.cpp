#include "GraphViewport.h"

#include <algorithm>

namespace morvane {

QPointF GraphViewport::toScreen(QPointF layout, QSizeF canvas) const
{
    return {canvas.width() * 0.5 + pan.x() + layout.x() * scale,
            canvas.height() * 0.5 + pan.y() + layout.y() * scale};
}

QPointF GraphViewport::toLayout(QPointF screen, QSizeF canvas) const
{
    return {(screen.x() - canvas.width() * 0.5 - pan.x()) / scale,
            (screen.y() - canvas.height() * 0.5 - pan.y()) / scale};
}

void GraphViewport::zoomBy(double factor)
{
    scale = clampScale(scale * factor);
}

double GraphViewport::gridSpacing() const
{
    const double spacing = scale * gridUnit;
    return spacing <= minGridSpacing ? 0 : spacing;
}

double GraphViewport::cardScale() const
{
    return std::clamp(scale, 0.45, 1.8);
}

void GraphViewport::centreOn(QPointF layout)
{
    pan = -layout * scale;
}

GraphViewport GraphViewport::fitting(const QRectF& layout, QSizeF canvas, double margin)
{
    const double roomX = std::max(canvas.width() - 2 * margin, 1.0);
    const double roomY = std::max(canvas.height() - 2 * margin, 1.0);
    GraphViewport fitted;
    fitted.scale = std::max(fitMinScale, std::min({1.0, roomX / std::max(layout.width(), 1.0),
                                                   roomY / std::max(layout.height(), 1.0)}));
    fitted.centreOn(layout.center());
    return fitted;
}

double GraphViewport::clampScale(double scale)
{
    return std::clamp(scale, fitMinScale, maxScale);
}

} // namespace morvane
