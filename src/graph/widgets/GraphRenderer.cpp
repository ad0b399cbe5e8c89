#include "GraphRenderer.h"

#include "GraphInks.h"

#include "GraphPalette.h"
#include "NodeCardStyle.h"
#include "desktop/AppearanceService.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "graph/ParallelParts.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <cstring>

namespace morvane {

namespace {

constexpr double cornerMargin = 14;
// Painted cards are kept up to this many bytes; beyond it, cards left out of the last frame make room.
constexpr qsizetype cardCacheBytes = 24 * 1024 * 1024;
// Painting a card costs far more than copying it: a frame paints at most this many new ones.
constexpr int newCardsPerFrame = 250;
// Fewer cards than this are laid on by the calling thread alone; more, by bands of rows, a few per
// thread.
constexpr std::size_t parallelCards = 200;
constexpr int cardBandsPerThread = 2;

int appearanceOf(const AppearanceService* appearance)
{
    return appearance ? int(appearance->appearance()) : 0;
}

// The edge's segment may cross the rectangle: their bounding boxes meet.
bool mayCross(const QLineF& line, const QRectF& area)
{
    return std::max(line.x1(), line.x2()) >= area.left() && std::min(line.x1(), line.x2()) <= area.right() &&
           std::max(line.y1(), line.y2()) >= area.top() && std::min(line.y1(), line.y2()) <= area.bottom();
}

// Everything the edges' strokes are chosen from: the edges list is compared by identity, as the model
// replaces it (or a copy of it) whenever it changes it.
bool sameEdgeStyles(const GraphScene& a, const GraphScene& b)
{
    return a.edges.isSharedWith(b.edges) && a.selectedNodeID == b.selectedNodeID &&
           a.activeNodeID == b.activeNodeID && a.centeredNodeID == b.centeredNodeID &&
           a.linkingSourceNodeID == b.linkingSourceNodeID && a.previewEdgeID == b.previewEdgeID &&
           a.keyboardFocusID == b.keyboardFocusID && a.keyboardNeighbors == b.keyboardNeighbors;
}

// Everything the background, grid and edges are drawn from, the nodes and their places too.
bool sameLayer(const GraphScene& a, const GraphScene& b)
{
    return a.sameNodes(b) && a.samePlaces(b) && sameEdgeStyles(a, b);
}

// The nodes are the same ones in the same order: the layout moves nodes without reordering them.
bool sameNodeOrder(const QList<GraphNode>& nodes, const QList<QUuid>& ids)
{
    return nodes.size() == ids.size() &&
           std::equal(nodes.begin(), nodes.end(), ids.begin(),
                      [](const GraphNode& node, const QUuid& id) { return node.id == id; });
}

} // namespace

GraphRenderer::GraphRenderer(const AppearanceService* appearance, GraphWorkPool* pool)
    : m_appearance(appearance)
    , m_pool(pool)
    , m_lines(pool)
{
}

void GraphRenderer::paint(QPainter& painter, QSizeF canvas, const GraphScene& scene,
                          const GraphViewport& viewport)
{
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    m_screen.resize(std::size_t(scene.nodes.size()));
    for (qsizetype i = 0; i < scene.nodes.size(); ++i)
        m_screen[std::size_t(i)] = viewport.toScreen(scene.position(i), canvas);
    updateEdgeEnds(scene);
    paintLayer(canvas, scene, viewport, ratio);
    placeNodes(canvas, scene, viewport);
    composeFrame(canvas, scene, ratio);
    painter.drawImage(QPointF(0, 0), m_composed);

    painter.setRenderHint(QPainter::Antialiasing);
    if (scene.nodes.isEmpty())
        paintEmptyState(painter, canvas);
    paintHint(painter, canvas);
    paintLegend(painter, canvas, scene);
}

// Each edge's ends by their place in the node list, and its stroke: rebuilt only when the edges, the
// order of the nodes or what the strokes depend on change, not when nodes merely move.
void GraphRenderer::updateEdgeEnds(const GraphScene& scene)
{
    const bool sameEnds =
        m_edgeEnds.source.edges.isSharedWith(scene.edges) &&
        (m_edgeEnds.source.sameNodes(scene) || sameNodeOrder(scene.nodes, m_edgeEnds.nodeIds));
    const bool sameStyles = sameEnds && sameEdgeStyles(m_edgeEnds.source, scene);
    m_edgeEnds.source = scene.remembered();
    if (sameStyles)
        return;
    if (!sameEnds) {
        const auto index = scene.nodeIndex();
        m_edgeEnds.nodeIds.resize(scene.nodes.size());
        for (qsizetype i = 0; i < scene.nodes.size(); ++i)
            m_edgeEnds.nodeIds[i] = scene.nodes[i].id;
        m_edgeEnds.ends.resize(std::size_t(scene.edges.size()));
        for (qsizetype i = 0; i < scene.edges.size(); ++i) {
            const auto& edge = scene.edges[i];
            m_edgeEnds.ends[std::size_t(i)] = {index.value(edge.from, -1), index.value(edge.to, -1)};
        }
    }
    m_edgeEnds.styles.resize(std::size_t(scene.edges.size()));
    for (qsizetype i = 0; i < scene.edges.size(); ++i)
        m_edgeEnds.styles[std::size_t(i)] = scene.edgeStyle(scene.edges[i]);
}

// Background, grid and edges are rasterised into one opaque layer at the device's pixel density and
// copied out in one go; a frame that only changes cards or chips copies the last one.
void GraphRenderer::paintLayer(QSizeF canvas, const GraphScene& scene, const GraphViewport& viewport,
                               double ratio)
{
    const int appearance = appearanceOf(m_appearance);
    if (m_layerSource && m_layerSource->canvas == canvas && m_layerSource->ratio == ratio &&
        m_layerSource->appearance == appearance && m_layerSource->viewport.scale == viewport.scale &&
        m_layerSource->viewport.pan == viewport.pan && sameLayer(m_layerSource->scene, scene))
        return;
    const QSize layerSize = (canvas * ratio).toSize();
    if (m_layer.size() != layerSize)
        m_layer = QImage(layerSize, QImage::Format_RGB32);
    m_layer.setDevicePixelRatio(1);
    paintBackground();
    paintGrid(canvas, viewport, ratio);
    paintEdges(canvas, scene, ratio);
    m_layer.setDevicePixelRatio(ratio);
    m_layerSource = LayerSource{scene.remembered(), viewport, canvas, ratio, appearance};
}

void GraphRenderer::paintBackground()
{
    const QColor top = paintColor(SharedColors::backgroundTop, m_appearance);
    const QColor bottom = paintColor(SharedColors::backgroundBottom, m_appearance);
    const int rows = m_layer.height();
    for (int y = 0; y < rows; ++y) {
        const double t = rows > 1 ? double(y) / (rows - 1) : 0;
        const auto mix = [t](double a, double b) { return int((a + (b - a) * t) * 255 + 0.5); };
        const QRgb colour = qRgb(mix(top.redF(), bottom.redF()), mix(top.greenF(), bottom.greenF()),
                                 mix(top.blueF(), bottom.blueF()));
        auto* line = reinterpret_cast<QRgb*>(m_layer.scanLine(y));
        std::fill(line, line + m_layer.width(), colour);
    }
}

void GraphRenderer::paintGrid(QSizeF canvas, const GraphViewport& viewport, double ratio)
{
    const double spacing = viewport.gridSpacing();
    if (spacing == 0)
        return;
    // Lines pass through the layout origin, move with the pan, and sit on pixel centres so they stay crisp.
    const auto crisp = [ratio](double at) { return std::floor(at * ratio) + 0.5; };
    QList<QLineF> lines;
    for (double x = std::fmod(canvas.width() * 0.5 + viewport.pan.x(), spacing); x < canvas.width();
         x += spacing)
        lines.append(QLineF(crisp(x), 0, crisp(x), m_layer.height()));
    for (double y = std::fmod(canvas.height() * 0.5 + viewport.pan.y(), spacing); y < canvas.height();
         y += spacing)
        lines.append(QLineF(0, crisp(y), m_layer.width(), crisp(y)));
    m_lines.stroke(m_layer, lines, paintColor(GraphPalette::grid, m_appearance), 1);
}

void GraphRenderer::paintEdges(QSizeF canvas, const GraphScene& scene, double ratio)
{
    // Edges are batched by stroke style and the styles drawn in rising prominence, so that an
    // emphasised edge lies above plain ones.
    constexpr std::array order{EdgeStyle::relation, EdgeStyle::suggestion, EdgeStyle::highlight,
                               EdgeStyle::neighbor, EdgeStyle::preview};
    for (auto& batch : m_edgeBatches)
        batch.clear();
    const QRectF area = QRectF(QPointF(0, 0), canvas).adjusted(-4, -4, 4, 4);
    for (qsizetype i = 0; i < scene.edges.size(); ++i) {
        const auto [from, to] = m_edgeEnds.ends[std::size_t(i)];
        if (from < 0 || to < 0)
            continue;
        const QLineF line(m_screen[std::size_t(from)], m_screen[std::size_t(to)]);
        if (mayCross(line, area))
            m_edgeBatches[std::size_t(m_edgeEnds.styles[std::size_t(i)])].append(line);
    }
    for (const auto style : order) {
        auto& lines = m_edgeBatches[std::size_t(style)];
        if (lines.isEmpty())
            continue;
        if (ratio != 1.0)
            for (auto& line : lines)
                line = QLineF(line.p1() * ratio, line.p2() * ratio);
        const auto stroke = edgeStroke(style);
        m_lines.stroke(m_layer, lines, paintColor(stroke.color, m_appearance), stroke.width * ratio,
                       stroke.dashed ? 5 * ratio : 0);
    }
}

void GraphRenderer::paintChips(QPainter& painter, QSizeF canvas, const GraphScene& scene) const
{
    QFont font = textFont(TextStyle::caption2);
    font.setWeight(QFont::DemiBold);
    const QFontMetricsF metrics(font);
    painter.save();
    painter.setFont(font);
    const QColor fill = paintColor(SharedColors::cardFill, m_appearance);
    const QColor border = GraphInks::faded(paintColor(GraphPalette::suggestion, m_appearance), 0.7);
    const QColor ink = paintColor(GraphPalette::suggestionInk, m_appearance);
    const QRectF area = QRectF(QPointF(0, 0), canvas).adjusted(-200, -20, 200, 20);
    for (qsizetype i = 0; i < scene.edges.size(); ++i) {
        const auto& edge = scene.edges[i];
        const auto [from, to] = m_edgeEnds.ends[std::size_t(i)];
        if (from < 0 || to < 0 || !scene.showsChip(edge))
            continue;
        const QPointF mid = (m_screen[std::size_t(from)] + m_screen[std::size_t(to)]) / 2;
        if (!area.contains(mid))
            continue;
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

GraphRenderer::Card GraphRenderer::paintCard(const NodeCardStyle& style, const QString& title,
                                             double cardScale, const AppearanceService* appearance)
{
    // Only the area the card covers, so that laying a thousand cards on stays cheap.
    const QRectF bounds = nodeCardBounds(style, title);
    QImage image((bounds.size() * cardScale).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter cardPainter(&image);
    cardPainter.scale(cardScale, cardScale);
    cardPainter.translate(-bounds.topLeft());
    paintNodeCard(cardPainter, style, title, appearance);
    cardPainter.end();
    return Card{std::move(image), -bounds.topLeft() * cardScale};
}

void GraphRenderer::startCardFrame(double cardScale)
{
    ++m_frame;
    m_newCardsLeft = newCardsPerFrame;
    const int appearance = appearanceOf(m_appearance);
    if (cardScale != m_cardsScale || appearance != m_cardsAppearance) {
        m_cards.clear();
        m_cardBytes = 0;
        m_discs.clear();
        m_cardsScale = cardScale;
        m_cardsAppearance = appearance;
    }
    if (m_cardBytes >= cardCacheBytes) {
        m_cards.removeIf([this](const auto& entry) {
            const bool stale = entry.value().drawnInFrame + 1 < m_frame;
            m_cardBytes -= stale ? entry.value().image.sizeInBytes() : 0;
            return stale;
        });
    }
}

const GraphRenderer::Card& GraphRenderer::card(const GraphNode& node, const NodeCardFlags& flags,
                                               double cardScale)
{
    const auto style = NodeCardStyle::of(node, flags);
    const auto key = qMakePair(style.key(), node.title);
    auto found = m_cards.find(key);
    // The few cards that stand out (selection, focus, link source) are never left without their title.
    const bool marked = !(flags == NodeCardFlags{});
    if (found == m_cards.end() && (marked || (m_newCardsLeft > 0 && m_cardBytes < cardCacheBytes))) {
        m_newCardsLeft -= marked ? 0 : 1;
        found = m_cards.insert(key, paintCard(style, node.title, cardScale, m_appearance));
        m_cardBytes += found->image.sizeInBytes();
    }
    if (found != m_cards.end()) {
        found->drawnInFrame = m_frame;
        return *found;
    }
    return disc(node, flags, cardScale);
}

const GraphRenderer::Card& GraphRenderer::disc(const GraphNode& node, const NodeCardFlags& flags,
                                               double cardScale)
{
    const auto style = NodeCardStyle::of(node, flags);
    auto found = m_discs.find(style.key());
    if (found == m_discs.end())
        found = m_discs.insert(style.key(), paintCard(style, QString(), cardScale, m_appearance));
    return *found;
}

// Which card goes where, in drawing order; new cards are painted here, on the calling thread.
void GraphRenderer::placeNodes(QSizeF canvas, const GraphScene& scene, const GraphViewport& viewport)
{
    const double cardScale = viewport.cardScale();
    startCardFrame(cardScale);
    m_placed.clear();
    const QRectF visible = QRectF(QPointF(0, 0), canvas).adjusted(-120, -120, 120, 120);
    for (qsizetype i = 0; i < scene.nodes.size(); ++i) {
        const GraphNode& node = scene.nodes[i];
        const QPointF at = m_screen[std::size_t(i)];
        if (!visible.contains(at))
            continue;
        const NodeCardFlags flags = scene.flags(node);
        const auto& painted =
            drawsTitle(viewport, flags) ? card(node, flags, cardScale) : disc(node, flags, cardScale);
        m_placed.push_back({painted.image, QPointF(std::round(at.x() - painted.origin.x()),
                                                   std::round(at.y() - painted.origin.y()))});
    }
}

// The frame below the corner boxes, composed off screen: the layer, the chips, then the cards, laid
// on by several threads at once, each in its own band of rows and in the nodes' order.
void GraphRenderer::composeFrame(QSizeF canvas, const GraphScene& scene, double ratio)
{
    if (m_composed.size() != m_layer.size())
        m_composed = QImage(m_layer.size(), QImage::Format_RGB32);
    std::memcpy(m_composed.bits(), m_layer.constBits(), std::size_t(m_layer.sizeInBytes()));
    m_composed.setDevicePixelRatio(ratio);
    {
        QPainter chips(&m_composed);
        chips.setRenderHint(QPainter::Antialiasing);
        paintChips(chips, canvas, scene);
    }
    uchar* bits = m_composed.bits();
    const qsizetype bytesPerLine = m_composed.bytesPerLine();
    const int height = m_composed.height();
    const int parts =
        m_placed.size() < parallelCards ? 1 : std::min(height, cardBandsPerThread * parallelParts(m_pool));
    inParallel(m_pool, parts, [&](int part) {
        const int top = height * part / parts;
        const int bottom = height * (part + 1) / parts;
        QImage rows(bits + top * bytesPerLine, m_composed.width(), bottom - top, bytesPerLine,
                    m_composed.format());
        rows.setDevicePixelRatio(ratio);
        QPainter painter(&rows);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(0, -top / ratio);
        const double first = top / ratio;
        const double last = bottom / ratio;
        for (const auto& [image, at] : m_placed) {
            if (at.y() + image.height() / image.devicePixelRatio() >= first && at.y() <= last)
                painter.drawImage(at, image);
        }
    });
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
    painter.setBrush(GraphInks::faded(paintColor(SharedColors::cardFill, m_appearance), 0.72));
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
    painter.setBrush(GraphInks::faded(paintColor(SharedColors::cardFill, m_appearance), 0.82));
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
