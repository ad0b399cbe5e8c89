#include "Glyphs.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>

namespace morvane {

namespace {

// One rounded link of the chain, as an outline of the given pen width, rotated 45 degrees about
// its own centre.
QPainterPath chainLinkOutline(QPointF centre)
{
    QPainterPath ring;
    ring.addRoundedRect(QRectF(-4.6, -2.4, 9.2, 4.8), 2.4, 2.4);
    QPainterPathStroker stroker;
    stroker.setWidth(1.6);
    QPainterPath outline = stroker.createStroke(ring);
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotate(-45);
    return transform.map(outline);
}

} // namespace

QPainterPath glyphPath(Glyph glyph)
{
    switch (glyph) {
    case Glyph::chainLink: {
        QPainterPath path = chainLinkOutline(QPointF(5.6, 10.4));
        path = path.united(chainLinkOutline(QPointF(10.4, 5.6)));
        return path;
    }
    }
    return {};
}

QIcon glyphIcon(Glyph glyph, const QColor& color)
{
    QIcon icon;
    const QPainterPath path = glyphPath(glyph);
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.fillPath(path, color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace morvane
