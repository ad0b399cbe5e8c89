#include "GraphRenderer.h"

#include "GraphPalette.h"
#include "LineRasterizer.h"
#include "NodeCardStyle.h"
#include "desktop/AppearanceService.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"
#include "foundation/SharedColors.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

namespace morvane {

namespace {

constexpr double cornerMargin = 14;
// Cards beyond this many distinct looks and titles are painted again rather than kept.
constexpr qsizetype cardCacheLimit = 6000;

QColor faded(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace

GraphRenderer::GraphRenderer(const AppearanceService* appearance)
    : m_appearance(appearance)
{
}

void GraphRenderer::paint(QPainter& painter, QSizeF canvas, const GraphScene& scene,
                          const GraphViewport& viewport)
{
    const QRectF area(QPointF(0, 0), canvas);
    QLinearGradient background(area.topLeft(), area.bottomLeft());
    background.setColorAt(0, paintColor(SharedColors::backgroundTop, m_appearance));
    background.setColorAt(1, paintColor(SharedColors::backgroundBottom, m_appearance));
    painter.fillRect(area, background);

    painter.setRenderHint(QPainter::Antialiasing);
    paintGrid(painter, canvas, viewport);
    const auto index = scene.nodeIndex();
    paintEdges(painter, canvas, scene, viewport, index);
    paintChips(painter, canvas, scene, viewport, index);
    if (scene.nodes.isEmpty())
        paintEmptyState(painter, canvas);
    paintNodes(painter, canvas, scene, viewport);
    paintHint(painter, canvas);
    paintLegend(painter, canvas, scene);
}

void GraphRenderer::paintGrid(QPainter& painter, QSizeF canvas, const GraphViewport& viewport) const
{
    const double spacing = viewport.gridSpacing();
    if (spacing == 0)
        return;
    QPainterPath grid;
    // Lines pass through the layout origin and move with the pan.
    for (double x = std::fmod(canvas.width() * 0.5 + viewport.pan.x(), spacing); x < canvas.width();
         x += spacing) {
        grid.moveTo(x, 0);
        grid.lineTo(x, canvas.height());
    }
    for (double y = std::fmod(canvas.height() * 0.5 + viewport.pan.y(), spacing); y < canvas.height();
         y += spacing) {
        grid.moveTo(0, y);
        grid.lineTo(canvas.width(), y);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.strokePath(grid, QPen(paintColor(GraphPalette::grid, m_appearance), 1));
    painter.restore();
}

void GraphRenderer::paintEdges(QPainter& painter, QSizeF canvas, const GraphScene& scene,
                               const GraphViewport& viewport, const QHash<QUuid, qsizetype>& index)
{
    // Edges are batched by stroke style and the styles drawn in rising prominence, so that an
    // emphasised edge lies above plain ones.
    constexpr std::array order{EdgeStyle::relation, EdgeStyle::suggestion, EdgeStyle::highlight,
                               EdgeStyle::neighbor, EdgeStyle::preview};
    std::array<QList<QLineF>, 5> batches;
    for (const auto& edge : scene.edges) {
        const auto from = index.constFind(edge.from);
        const auto to = index.constFind(edge.to);
        if (from == index.cend() || to == index.cend())
            continue;
        batches[std::size_t(scene.edgeStyle(edge))].append(
            QLineF(viewport.toScreen(scene.nodes[*from].position, canvas),
                   viewport.toScreen(scene.nodes[*to].position, canvas)));
    }
    // The edges are rasterised into a layer at the device's pixel density and laid on in one go.
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize layerSize = (canvas * ratio).toSize();
    if (m_edgeLayer.size() != layerSize)
        m_edgeLayer = QImage(layerSize, QImage::Format_ARGB32_Premultiplied);
    m_edgeLayer.fill(Qt::transparent);
    for (const auto style : order) {
        auto& lines = batches[std::size_t(style)];
        if (lines.isEmpty())
            continue;
        if (ratio != 1.0)
            for (auto& line : lines)
                line = QLineF(line.p1() * ratio, line.p2() * ratio);
        const auto stroke = edgeStroke(style);
        strokeLines(m_edgeLayer, lines, paintColor(stroke.color, m_appearance), stroke.width * ratio,
                    stroke.dashed ? 5 * ratio : 0);
    }
    m_edgeLayer.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(0, 0), m_edgeLayer);
}

void GraphRenderer::paintChips(QPainter& painter, QSizeF canvas, const GraphScene& scene,
                               const GraphViewport& viewport, const QHash<QUuid, qsizetype>& index) const
{
    QFont font = textFont(TextStyle::caption2);
    font.setWeight(QFont::DemiBold);
    const QFontMetricsF metrics(font);
    painter.save();
    painter.setFont(font);
    const QColor fill = paintColor(SharedColors::cardFill, m_appearance);
    const QColor border = faded(paintColor(GraphPalette::suggestion, m_appearance), 0.7);
    const QColor ink = paintColor(GraphPalette::suggestionInk, m_appearance);
    for (const auto& edge : scene.edges) {
        const auto from = index.constFind(edge.from);
        const auto to = index.constFind(edge.to);
        if (from == index.cend() || to == index.cend() || !scene.showsChip(edge))
            continue;
        const QPointF mid =
            viewport.toScreen((scene.nodes[*from].position + scene.nodes[*to].position) / 2, canvas);
        const QString reason = edge.kind.reason();
        const QSizeF size(metrics.horizontalAdvance(reason) + 12, metrics.height() + 4);
        const QRectF chip(mid - QPointF(size.width() / 2, size.height() / 2), size);
        painter.setPen(QPen(border, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(chip.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        painter.setPen(ink);
        painter.drawText(chip, Qt::AlignCenter | Qt::TextSingleLine, reason);
    }
    painter.restore();
}

const GraphRenderer::Card& GraphRenderer::card(const GraphNode& node, const NodeCardFlags& flags,
                                               double cardScale)
{
    const int appearance = m_appearance ? int(m_appearance->appearance()) : 0;
    if (cardScale != m_cardsScale || appearance != m_cardsAppearance || m_cards.size() > cardCacheLimit) {
        m_cards.clear();
        m_cardsScale = cardScale;
        m_cardsAppearance = appearance;
    }
    const auto style = NodeCardStyle::of(node, flags);
    const auto key = qMakePair(style.key(), node.title);
    auto found = m_cards.find(key);
    if (found != m_cards.end())
        return *found;

    // Room for the shadow around the disc; the chip slot is the widest part.
    constexpr double margin = 10;
    const QSizeF size = style.cardSize();
    const QRectF bounds(-size.width() / 2 - 2, -style.discSize / 2 - margin, size.width() + 4,
                        size.height() + 2 * margin);
    QImage image((bounds.size() * cardScale).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter cardPainter(&image);
    cardPainter.scale(cardScale, cardScale);
    cardPainter.translate(-bounds.topLeft());
    paintNodeCard(cardPainter, style, node.title, m_appearance);
    cardPainter.end();
    return *m_cards.insert(key, Card{std::move(image), -bounds.topLeft() * cardScale});
}

void GraphRenderer::paintNodes(QPainter& painter, QSizeF canvas, const GraphScene& scene,
                               const GraphViewport& viewport)
{
    const double cardScale = viewport.cardScale();
    const QRectF visible = QRectF(QPointF(0, 0), canvas).adjusted(-120, -120, 120, 120);
    for (const auto& node : scene.nodes) {
        const QPointF at = viewport.toScreen(node.position, canvas);
        if (!visible.contains(at))
            continue;
        const auto& painted = card(node, scene.flags(node), cardScale);
        painter.drawImage(
            QPointF(std::round(at.x() - painted.origin.x()), std::round(at.y() - painted.origin.y())),
            painted.image);
    }
}

void GraphRenderer::paintEmptyState(QPainter& painter, QSizeF canvas) const
{
    const QRectF card = QRectF(QPointF(0, 0), canvas).adjusted(24, 24, -24, -24);
    painter.save();
    painter.setPen(QPen(paintColor(SharedColors::hairline, m_appearance), 1));
    painter.setBrush(paintColor(SharedColors::cardFill, m_appearance));
    painter.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

    QFont heading = textFont(TextStyle::title3);
    heading.setWeight(QFont::DemiBold);
    const QFont caption = textFont(TextStyle::caption);
    const double headingHeight = QFontMetricsF(heading).height();
    const double captionHeight = QFontMetricsF(caption).height();
    double y = card.center().y() - (40 + 10 + headingHeight + 10 + captionHeight) / 2;
    paintGlyph(painter, Glyph::connectedPoints, QRectF(card.center().x() - 20, y, 40, 40),
               paintColor(GraphPalette::accent, m_appearance));
    y += 50;
    painter.setFont(heading);
    painter.setPen(paintColor(SystemColor::label, m_appearance));
    painter.drawText(QRectF(card.left(), y, card.width(), headingHeight), Qt::AlignCenter,
                     QStringLiteral("No graph yet"));
    y += headingHeight + 10;
    painter.setFont(caption);
    painter.setPen(paintColor(SystemColor::secondaryLabel, m_appearance));
    painter.drawText(QRectF(card.left(), y, card.width(), captionHeight), Qt::AlignCenter,
                     QStringLiteral("Add links and create relations from Morvane to grow this view."));
    painter.restore();
}

void GraphRenderer::paintHint(QPainter& painter, QSizeF canvas) const
{
    const QString hint = QStringLiteral("←→ preview   ↑ follow   ↓ back   Return opens");
    const QFont font = textFont(TextStyle::caption);
    const QFontMetricsF metrics(font);
    const QSizeF size(metrics.horizontalAdvance(hint) + 20, metrics.height() + 12);
    const QRectF box(QPointF(cornerMargin, canvas.height() - cornerMargin - size.height()), size);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(faded(paintColor(SharedColors::cardFill, m_appearance), 0.72));
    painter.drawRoundedRect(box, 6, 6);
    painter.setFont(font);
    painter.setPen(paintColor(SharedColors::secondaryInk, m_appearance));
    painter.drawText(box, Qt::AlignCenter, hint);
    painter.restore();
}

void GraphRenderer::paintLegend(QPainter& painter, QSizeF canvas, const GraphScene& scene) const
{
    struct Entry {
        bool dash;
        AppearanceColor color;
        QString text;
    };
    QList<Entry> entries;
    if (scene.hasSuggestionEdges())
        entries.append({true, GraphPalette::suggestion, QStringLiteral("Suggested")});
    if (scene.hasHealth(NodeHealth::weak))
        entries.append({false, GraphPalette::weak, QStringLiteral("Weak")});
    if (scene.hasHealth(NodeHealth::orphan))
        entries.append({false, GraphPalette::orphan, QStringLiteral("Orphan")});

    const QFont font = textFont(TextStyle::caption2);
    const QFontMetricsF metrics(font);
    constexpr double spacing = 10;
    double width = 0;
    for (const auto& entry : entries)
        width += (entry.dash ? 22 : 7) + spacing + metrics.horizontalAdvance(entry.text);
    width += spacing * std::max<qsizetype>(0, entries.size() - 1);
    const QSizeF size(width + 20, std::max(metrics.height(), 8.0) + 12);
    const QRectF box(
        QPointF(canvas.width() - cornerMargin - size.width(), canvas.height() - cornerMargin - size.height()),
        size);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(faded(paintColor(SharedColors::cardFill, m_appearance), 0.82));
    painter.drawRoundedRect(box, 6, 6);
    painter.setFont(font);
    double x = box.left() + 10;
    const double mid = box.center().y();
    for (const auto& entry : entries) {
        const QColor color = paintColor(entry.color, m_appearance);
        if (entry.dash) {
            QPen pen(color, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
            pen.setDashPattern({4 / 1.3, 3 / 1.3});
            painter.setPen(pen);
            painter.drawLine(QPointF(x, mid), QPointF(x + 22, mid));
            x += 22 + spacing;
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(QPointF(x + 3.5, mid), 3.5, 3.5);
            x += 7 + spacing;
        }
        painter.setPen(paintColor(SharedColors::secondaryInk, m_appearance));
        const double textWidth = metrics.horizontalAdvance(entry.text);
        painter.drawText(QRectF(x, box.top(), textWidth + 1, box.height()), Qt::AlignVCenter, entry.text);
        x += textWidth + spacing;
    }
    painter.restore();
}

} // namespace morvane
