#include "Glyphs.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>

namespace morvane {

namespace {

// Outlines are drawn as strokes and turned into filled areas, so that every glyph is one path the
// caller fills in its tint.
constexpr qreal lineWidth = 1.3;
constexpr qreal boldLineWidth = 1.7;

QPainterPath stroked(const QPainterPath& path, qreal width = lineWidth)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).simplified();
}

QPainterPath line(QPointF from, QPointF to, qreal width = lineWidth)
{
    QPainterPath path(from);
    path.lineTo(to);
    return stroked(path, width);
}

QPainterPath polyline(std::initializer_list<QPointF> points, qreal width = lineWidth, bool closed = false)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    if (closed)
        path.closeSubpath();
    return stroked(path, width);
}

QPainterPath disc(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath ring(QPointF centre, qreal radius, qreal width = lineWidth)
{
    return stroked(disc(centre, radius), width);
}

QPainterPath roundedRect(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath unite(std::initializer_list<QPainterPath> parts)
{
    QPainterPath result;
    for (const QPainterPath& part : parts)
        result = result.united(part);
    return result;
}

QPainterPath transformed(const QPainterPath& path, qreal scale, QPointF offset)
{
    QTransform transform;
    transform.translate(offset.x(), offset.y());
    transform.scale(scale, scale);
    return transform.map(path);
}

const QPointF centre(8, 8);
constexpr qreal circleRadius = 6.6;

// One rounded link of a chain, as an outline, rotated 45 degrees about its own centre.
QPainterPath chainLinkPart(QPointF at)
{
    QPainterPath outline = stroked(roundedRect(QRectF(-4.6, -2.4, 9.2, 4.8), 2.4), 1.6);
    QTransform transform;
    transform.translate(at.x(), at.y());
    transform.rotate(-45);
    return transform.map(outline);
}

QPainterPath chainLink()
{
    return chainLinkPart(QPointF(5.6, 10.4)).united(chainLinkPart(QPointF(10.4, 5.6)));
}

// A small chain in the upper left with a badge in the lower right, cut free of the chain.
QPainterPath chainWithBadge(const QPainterPath& badge)
{
    const QPainterPath chain = transformed(chainLink(), 0.8, QPointF(0, 0));
    return chain.subtracted(disc(QPointF(12, 12), 4.4)).united(badge);
}

QPainterPath plusSign(QPointF at, qreal half, qreal width)
{
    return line(at - QPointF(half, 0), at + QPointF(half, 0), width)
        .united(line(at - QPointF(0, half), at + QPointF(0, half), width));
}

QPainterPath magnifierWith(const QPainterPath& inLens)
{
    const QPointF lens(6.6, 6.6);
    return unite({ring(lens, 4.8, 1.4), line(QPointF(10.2, 10.2), QPointF(14.2, 14.2), 2.0), inLens});
}

QPainterPath calendarSheet()
{
    const QRectF sheet(1.8, 2.8, 12.4, 11.6);
    QPainterPath header;
    header.addRect(QRectF(sheet.left(), sheet.top(), sheet.width(), 3.2));
    return unite({stroked(roundedRect(sheet, 1.8)), roundedRect(sheet, 1.8).intersected(header),
                  line(QPointF(5, 1.4), QPointF(5, 4.2), 1.4),
                  line(QPointF(11, 1.4), QPointF(11, 4.2), 1.4)});
}

QPainterPath calendarDays()
{
    QPainterPath days;
    for (const qreal y : {8.2, 11.2})
        for (const qreal x : {4.6, 8.0, 11.4})
            days.addRect(QRectF(x - 0.8, y - 0.8, 1.6, 1.6));
    return days;
}

// A four-pointed star with curved sides.
QPainterPath sparkle(QPointF at, qreal radius)
{
    QPainterPath path(at + QPointF(0, -radius));
    path.quadTo(at, at + QPointF(radius, 0));
    path.quadTo(at, at + QPointF(0, radius));
    path.quadTo(at, at + QPointF(-radius, 0));
    path.quadTo(at, at + QPointF(0, -radius));
    path.closeSubpath();
    return path;
}

QPainterPath filterLines(qreal width)
{
    return unite({line(QPointF(4.4, 5.8), QPointF(11.6, 5.8), width),
                  line(QPointF(5.8, 8.2), QPointF(10.2, 8.2), width),
                  line(QPointF(7.2, 10.6), QPointF(8.8, 10.6), width)});
}

QPainterPath appTile()
{
    return stroked(roundedRect(QRectF(2, 2, 12, 12), 3.2));
}

QPainterPath connectedPoints()
{
    const QPointF top(8, 3), left(3, 12.6), right(13, 12.6);
    QPainterPath triangle;
    triangle.addPolygon(QPolygonF({top, right, left, top}));
    QPainterPathStroker dotted;
    dotted.setWidth(1.1);
    dotted.setCapStyle(Qt::RoundCap);
    dotted.setDashPattern({0.1, 2.2});
    QPainterPath dots = dotted.createStroke(triangle);
    for (const QPointF& point : {top, left, right})
        dots = dots.subtracted(disc(point, 3.0));
    return unite({dots, disc(top, 2.1), disc(left, 2.1), disc(right, 2.1)});
}

QPainterPath reloadArrow()
{
    const QPointF at(8, 8.8);
    const qreal radius = 5.6;
    const QRectF bounds(at.x() - radius, at.y() - radius, 2 * radius, 2 * radius);
    // Angles run counter-clockwise from three o'clock: the arc starts just left of the top and
    // goes round the left side to the upper right, leaving a gap that the arrow head points into.
    QPainterPath arc;
    arc.arcMoveTo(bounds, 100);
    arc.arcTo(bounds, 100, 290);
    const QPointF start(at.x() + radius * std::cos(qDegreesToRadians(100.0)),
                        at.y() - radius * std::sin(qDegreesToRadians(100.0)));
    return stroked(arc, 1.5).united(
        polyline({start + QPointF(-2.2, -2.3), start, start + QPointF(-2.2, 2.3)}, 1.5));
}

// The kinds of saved items.
QPainterPath linkTypeGlyph(Glyph glyph)
{
    switch (glyph) {
    case Glyph::document:
        return unite(
            {polyline({{3.4, 1.6}, {9.6, 1.6}, {12.6, 4.6}, {12.6, 14.4}, {3.4, 14.4}}, lineWidth, true),
             polyline({{9.4, 1.8}, {9.4, 4.8}, {12.4, 4.8}})});
    case Glyph::folder:
        return polyline(
            {{1.6, 4.2}, {1.6, 13.4}, {14.4, 13.4}, {14.4, 5.6}, {7.6, 5.6}, {6.2, 3.4}, {2.4, 3.4}},
            lineWidth, true);
    case Glyph::globe: {
        QPainterPath meridian;
        meridian.addEllipse(centre, 2.8, circleRadius);
        return unite({ring(centre, circleRadius, 1.2), stroked(meridian, 1.1),
                      line(QPointF(1.6, 8), QPointF(14.4, 8), 1.1),
                      line(QPointF(2.8, 4.8), QPointF(13.2, 4.8), 1.0),
                      line(QPointF(2.8, 11.2), QPointF(13.2, 11.2), 1.0)});
    }
    case Glyph::envelope:
        return unite({stroked(roundedRect(QRectF(1.6, 3.4, 12.8, 9.2), 1.6)),
                      polyline({{2.4, 4.4}, {8, 8.8}, {13.6, 4.4}})});
    case Glyph::note:
        return unite({stroked(roundedRect(QRectF(2.6, 1.6, 10.8, 12.8), 1.6)),
                      line(QPointF(5.2, 5.4), QPointF(10.8, 5.4)),
                      line(QPointF(5.2, 8.2), QPointF(10.8, 8.2)), line(QPointF(5.2, 11), QPointF(8.8, 11))});
    case Glyph::archiveBox:
        return unite({stroked(roundedRect(QRectF(1.6, 2.4, 12.8, 3.6), 0.8)),
                      polyline({{2.6, 6.2}, {2.6, 13.6}, {13.4, 13.6}, {13.4, 6.2}}),
                      line(QPointF(6.4, 8.8), QPointF(9.6, 8.8), 1.5)});
    case Glyph::calendar:
        return calendarSheet().united(calendarDays());
    case Glyph::calendarClock: {
        const QPointF clock(11.6, 11.6);
        const QPainterPath sheet = calendarSheet().united(calendarDays()).subtracted(disc(clock, 4.4));
        return unite({sheet, ring(clock, 3.5, 1.2),
                      polyline({clock + QPointF(0, -2), clock, clock + QPointF(1.5, 0)}, 1.1)});
    }
    case Glyph::person: {
        const QPainterPath shoulders =
            disc(QPointF(8, 14.2), 4.8).intersected(disc(centre, circleRadius - 0.4));
        return unite({ring(centre, circleRadius, 1.2), disc(QPointF(8, 6.4), 2.4), shoulders});
    }
    default:
        break;
    }
    return {};
}

// The quick panel's actions and marks.
QPainterPath panelGlyph(Glyph glyph)
{
    switch (glyph) {
    case Glyph::chainLink:
        return chainLink();
    case Glyph::ellipsis:
        return unite({ring(centre, circleRadius), disc(QPointF(5, 8), 1.0), disc(QPointF(8, 8), 1.0),
                      disc(QPointF(11, 8), 1.0)});
    case Glyph::plus:
        return plusSign(centre, 5.6, boldLineWidth);
    case Glyph::gear: {
        QPainterPath body = disc(centre, 4.6);
        for (int tooth = 0; tooth < 8; ++tooth) {
            QTransform turn;
            turn.translate(centre.x(), centre.y());
            turn.rotate(tooth * 45.0);
            body = body.united(turn.map(roundedRect(QRectF(-1.3, -7.0, 2.6, 3.4), 0.6)));
        }
        return body.subtracted(disc(centre, 2.0));
    }
    case Glyph::info:
        return unite({ring(centre, circleRadius), disc(QPointF(8, 4.9), 0.95),
                      line(QPointF(8, 7.3), QPointF(8, 11.4), 1.5)});
    case Glyph::magnifier:
        return magnifierWith({});
    case Glyph::returnKey:
        return unite({polyline({{13.2, 2.8}, {13.2, 8.4}, {12.2, 9.8}, {3.4, 9.8}}, boldLineWidth),
                      polyline({{6.6, 6.6}, {3.4, 9.8}, {6.6, 13}}, boldLineWidth)});
    case Glyph::xmark:
        return line(QPointF(3.4, 3.4), QPointF(12.6, 12.6), boldLineWidth)
            .united(line(QPointF(12.6, 3.4), QPointF(3.4, 12.6), boldLineWidth));
    case Glyph::checkmark:
        return polyline({{2.6, 8.6}, {6.2, 12.2}, {13.4, 3.8}}, 1.9);
    case Glyph::linkPlus:
        return chainWithBadge(plusSign(QPointF(12, 12), 2.8, 1.5));
    default:
        break;
    }
    return {};
}

// The graph's toolbar, menus and badges.
QPainterPath graphGlyph(Glyph glyph)
{
    switch (glyph) {
    case Glyph::connectedPoints:
        return connectedPoints();
    case Glyph::scope:
        return unite({ring(centre, 5.0), disc(centre, 1.3), line(QPointF(8, 1), QPointF(8, 4.4)),
                      line(QPointF(8, 11.6), QPointF(8, 15)), line(QPointF(1, 8), QPointF(4.4, 8)),
                      line(QPointF(11.6, 8), QPointF(15, 8))});
    case Glyph::warning:
        return unite({polyline({{8, 1.8}, {14.6, 13.8}, {1.4, 13.8}}, lineWidth, true),
                      line(QPointF(8, 6.2), QPointF(8, 9.6), 1.5), disc(QPointF(8, 11.7), 0.9)});
    case Glyph::sparkles:
        return unite({sparkle(QPointF(6.2, 9.4), 5.4), sparkle(QPointF(12.4, 3.6), 2.6),
                      sparkle(QPointF(12.8, 12.6), 1.9)});
    case Glyph::filter:
        return ring(centre, circleRadius).united(filterLines(1.2));
    case Glyph::filterFilled:
        return disc(centre, circleRadius + 0.65).subtracted(filterLines(1.3));
    case Glyph::app:
        return appTile();
    case Glyph::tag:
        return polyline({{2, 2.4}, {8, 2.4}, {14, 8.4}, {8.4, 14}, {2, 7.6}}, lineWidth, true)
            .united(disc(QPointF(5, 5.4), 1.2));
    case Glyph::linkMinus:
        return chainWithBadge(line(QPointF(9.2, 12), QPointF(14.8, 12), 1.5));
    case Glyph::openInApp:
        return unite({appTile(), line(QPointF(5.8, 10.2), QPointF(10.2, 5.8), 1.4),
                      polyline({{6.6, 5.8}, {10.2, 5.8}, {10.2, 9.4}}, 1.4)});
    case Glyph::trash:
        return unite({line(QPointF(1.8, 4), QPointF(14.2, 4)),
                      polyline({{6, 3.8}, {6, 2}, {10, 2}, {10, 3.8}}),
                      polyline({{3.4, 4.2}, {4.4, 14.4}, {11.6, 14.4}, {12.6, 4.2}}),
                      line(QPointF(6.6, 6.6), QPointF(6.8, 12)), line(QPointF(9.4, 6.6), QPointF(9.2, 12))});
    case Glyph::xmarkCircle:
        return unite({ring(centre, circleRadius), line(QPointF(5.6, 5.6), QPointF(10.4, 10.4), 1.4),
                      line(QPointF(10.4, 5.6), QPointF(5.6, 10.4), 1.4)});
    case Glyph::zoomOut:
        return magnifierWith(line(QPointF(4.4, 6.6), QPointF(8.8, 6.6), 1.3));
    case Glyph::zoomIn:
        return magnifierWith(plusSign(QPointF(6.6, 6.6), 2.2, 1.3));
    case Glyph::reload:
        return reloadArrow();
    default:
        break;
    }
    return {};
}

QPainterPath draw(Glyph glyph)
{
    if (glyph <= Glyph::person)
        return linkTypeGlyph(glyph);
    if (glyph <= Glyph::linkPlus)
        return panelGlyph(glyph);
    return graphGlyph(glyph);
}

} // namespace

QPainterPath glyphPath(Glyph glyph)
{
    // Joining the strokes is the costly part and rows draw their glyph on every paint, so each path
    // is built once, by whichever thread asks first (the panel's are made ahead on a pool thread).
    static std::mutex building;
    static std::array<std::optional<QPainterPath>, std::size_t(Glyph::reload) + 1> built;
    const std::lock_guard lock(building);
    std::optional<QPainterPath>& path = built[std::size_t(glyph)];
    if (!path)
        path = draw(glyph);
    return *path;
}

void paintGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.topLeft());
    painter.scale(box.width() / 16.0, box.height() / 16.0);
    painter.fillPath(glyphPath(glyph), color);
    painter.restore();
}

namespace {

// The sizes a tray, a menu or a window usually asks for, as the icon lists them.
const QList<QSize> usualSizes{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};

// An icon drawn at each size when that size is first asked for: drawing every size up front cost the
// start a few milliseconds for the tray icon alone, and most sizes are never shown.
class DrawnIconEngine final : public QIconEngine {
public:
    using Draw = std::function<void(QPainter&, int size)>;

    explicit DrawnIconEngine(Draw draw)
        : m_draw(std::move(draw))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const int side = qRound(std::min(size.width(), size.height()) * scale);
        if (side <= 0)
            return {};
        QPixmap& drawn = m_drawn[side];
        if (drawn.isNull()) {
            drawn = QPixmap(side, side);
            drawn.fill(Qt::transparent);
            QPainter painter(&drawn);
            m_draw(painter, side);
        }
        QPixmap shown = drawn;
        // Disabled and selected icons look as the style makes them from the plain one.
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            shown = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        shown.setDevicePixelRatio(scale);
        return shown;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return usualSizes; }
    QString key() const override { return QStringLiteral("morvane-drawn"); }
    QIconEngine* clone() const override { return new DrawnIconEngine(*this); }

private:
    Draw m_draw;
    QHash<int, QPixmap> m_drawn; // by side in device pixels
};

QIcon iconAtEverySize(DrawnIconEngine::Draw draw)
{
    return QIcon(new DrawnIconEngine(std::move(draw)));
}

} // namespace

QIcon glyphIcon(Glyph glyph, const QColor& color)
{
    return iconAtEverySize([glyph, color](QPainter& painter, int size) {
        paintGlyph(painter, glyph, QRectF(0, 0, size, size), color);
    });
}

QIcon rimmedGlyphIcon(Glyph glyph, const QColor& color)
{
    // Light behind dark ink and dark behind light ink, faint enough to read as an edge, not a second
    // colour, on a panel that already contrasts with the ink.
    const QColor rim = color.lightnessF() < 0.5 ? QColor(255, 255, 255, 200) : QColor(0, 0, 0, 170);
    return iconAtEverySize([glyph, color, rim](QPainter& painter, int size) {
        const qreal rimWidth = size / 24.0;
        painter.setRenderHint(QPainter::Antialiasing);
        // The glyph shrinks by the rim so that the rim stays inside the icon.
        const QRectF box = QRectF(0, 0, size, size).adjusted(rimWidth, rimWidth, -rimWidth, -rimWidth);
        const QPainterPath path = QTransform::fromTranslate(box.left(), box.top())
                                      .scale(box.width() / 16.0, box.height() / 16.0)
                                      .map(glyphPath(glyph));
        painter.strokePath(path, QPen(rim, 2 * rimWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.fillPath(path, color);
    });
}

} // namespace morvane
