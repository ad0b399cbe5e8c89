#include "QuickPanelResultRow.h"

#include "desktop/DataText.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "foundation/SystemColor.h"
#include "model/LinkTypePresentation.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>

namespace morvane {

namespace {

constexpr double cornerRadius = 8;
constexpr double paddingX = 10;
constexpr double paddingY = 9;
constexpr double iconSize = 34;
constexpr double iconGlyphSize = 17;
constexpr double iconSpacing = 12;
constexpr double lineSpacing = 4;
constexpr double titleSpacing = 8;
constexpr double metaSpacing = 6;
constexpr double rowBadgePaddingX = 6;
constexpr double rowBadgePaddingY = 2;
constexpr double rowBadgeRadius = 5;
constexpr double countGlyphSize = 10;
constexpr double countGlyphSpacing = 4;

struct RowShadow {
    double radius;
    double opacity;
    double drop;
};
constexpr RowShadow selectedShadow{10, 0.11, 4};
constexpr RowShadow plainShadow{3, 0.035, 1};

QFont titleFont()
{
    return systemFont(15, QFont::DemiBold);
}
QFont rowBadgeFont()
{
    QFont font = textFont(TextStyle::caption);
    font.setWeight(QFont::DemiBold);
    return font;
}
QFont captionFont()
{
    return textFont(TextStyle::caption);
}
QFont metaFont()
{
    return textFont(TextStyle::caption2);
}

double lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

double badgeHeight()
{
    return lineHeight(rowBadgeFont()) + 2 * rowBadgePaddingY;
}

double titleLineHeight()
{
    return std::max({lineHeight(titleFont()), badgeHeight(), lineHeight(captionFont())});
}

double columnHeight()
{
    return titleLineHeight() + lineSpacing + lineHeight(captionFont()) + lineSpacing + lineHeight(metaFont());
}

// The text on one line, cut to the room left, and the rect it takes from x onwards. Titles and
// locators from other applications may hold line breaks, which would otherwise be measured as one
// line and drawn as several, clipped.
QuickPanelRowText placeText(const QString& text, const QFont& font, double x, double top, double height,
                            double room)
{
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(oneLineText(text), Qt::ElideRight, std::max(room, 0.0));
    // One pixel of slack so that rounding never clips the last glyph.
    const double width = std::min(metrics.horizontalAdvance(shown) + 1, std::max(room, 0.0));
    return {shown, QRectF(x, top, width, height)};
}

std::optional<QString> badgeText(QuickPanelRowKind kind)
{
    switch (kind) {
    case QuickPanelRowKind::capture:
        return QStringLiteral("Add");
    case QuickPanelRowKind::fileMatch:
        return QStringLiteral("Possible match");
    case QuickPanelRowKind::link:
        break;
    }
    return std::nullopt;
}

SystemColor badgeColor(QuickPanelRowKind kind)
{
    return kind == QuickPanelRowKind::capture ? SystemColor::green : SystemColor::orange;
}

QStringList metaTexts(const QuickPanelRowContent& content)
{
    QStringList texts{presentation(content.type).title};
    const QString source =
        content.kind == QuickPanelRowKind::fileMatch ? QStringLiteral("Morvane") : content.sourceApp;
    if (!source.isEmpty())
        texts.append(source);
    if (!content.tags.isEmpty()) {
        QStringList marked;
        for (const QString& tag : content.tags)
            marked.append(u'#' + tag);
        texts.append(marked.join(u' '));
    }
    return texts;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

QPainterPath cardPath(const QRectF& card)
{
    QPainterPath path;
    path.addRoundedRect(card, cornerRadius, cornerRadius);
    return path;
}

// One thing painted around or over a card, by itself.
using CardLayer = std::function<void(QPainter&, const QRectF& card)>;

// A soft shadow below the card, painted only outside it so that a translucent card does not show it
// through: rounded rectangles growing outwards, each adding a little black, from half the opacity
// at the card's edge (as a blur of that radius gives) to nothing at the radius.
QList<CardLayer> shadowLayers(const RowShadow& shadow)
{
    const double layerOpacity = 1 - std::pow(1 - shadow.opacity / 2, 1.0 / shadow.radius);
    const QColor color = QColor::fromRgbF(0, 0, 0, float(layerOpacity));
    QList<CardLayer> layers;
    for (int grow = int(shadow.radius); grow >= 1; --grow)
        layers.append([shadow, color, grow](QPainter& painter, const QRectF& card) {
            const double reach = shadow.radius + shadow.drop + 1;
            QPainterPath outside;
            outside.addRect(card.adjusted(-reach, -reach, reach, reach));
            painter.save();
            painter.setClipPath(outside.subtracted(cardPath(card)), Qt::IntersectClip);
            QPainterPath path;
            path.addRoundedRect(card.translated(0, shadow.drop).adjusted(-grow, -grow, grow, grow),
                                cornerRadius + grow, cornerRadius + grow);
            painter.fillPath(path, color);
            painter.restore();
        });
    return layers;
}

CardLayer fillLayer(const QColor& color)
{
    return [color](QPainter& painter, const QRectF& card) { painter.fillPath(cardPath(card), color); };
}

// Every card of the list has the same size, so what is painted around it the same way on every card
// is kept as images, one a layer, and laid in place without an antialiased fill (which the raster
// engine spreads over threads and waits for). A layer painted onto a transparent image, and that image
// drawn onto the background, give the very pixels of the layer painted onto the background; two layers
// in one image would not.
//
// Away from the card's rounded corners every row of a layer is the same, and so is every column. A
// layer is therefore painted once, round a small square card (its patch), and the images of a card of
// any size are made from the patch by repeating its centre row and column: the two ends, full height,
// and between them the rows of the repeated column that hold anything (a shadow holds nothing over
// the card itself, which is left out).
struct LaidLayer {
    QImage start; // the columns before the repeated one, full height; the whole layer when `end` is null
    QImage end;   // the columns after it, full height
    QList<std::pair<int, QImage>> middle; // rows of the repeated column that hold anything, at their top
    int width = 0;                        // the columns the layer covers, the margins included
};

QImage paintedLayer(const CardLayer& layer, QSize cardSize, int margin)
{
    QImage image(cardSize + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    layer(painter, QRectF(QPointF(margin, margin), QSizeF(cardSize)));
    return image;
}

int patchCardSide(int margin)
{
    return 2 * (int(std::ceil(cornerRadius)) + 1 + margin) + 1;
}

QList<QuickPanelRowPatch> paintedPatches(const QList<CardLayer>& layers, int margin)
{
    const int side = patchCardSide(margin);
    QList<QuickPanelRowPatch> patches;
    for (const CardLayer& layer : layers)
        patches.append({paintedLayer(layer, QSize(side, side), margin), margin + side / 2});
    return patches;
}

// The part `region` of the layer round a card the size of `full` (margins included), made from its patch.
QImage fromPatch(const QuickPanelRowPatch& patch, QSize full, const QRect& region)
{
    const auto source = [&patch](int at, int fullLength, int patchLength) {
        const int tail = patchLength - patch.centre - 1;
        return at < patch.centre         ? at
               : at >= fullLength - tail ? at - (fullLength - patchLength)
                                         : patch.centre;
    };
    QImage made(region.size(), QImage::Format_ARGB32_Premultiplied);
    const int patchWidth = patch.image.width();
    for (int y = 0; y < region.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(
            patch.image.constScanLine(source(region.top() + y, full.height(), patch.image.height())));
        auto* to = reinterpret_cast<QRgb*>(made.scanLine(y));
        for (int x = 0; x < region.width(); ++x)
            to[x] = from[source(region.left() + x, full.width(), patchWidth)];
    }
    return made;
}

LaidLayer laidLayer(const QuickPanelRowPatch& patch, QSize full)
{
    const int tail = patch.image.width() - patch.centre - 1;
    LaidLayer laid{fromPatch(patch, full, QRect(0, 0, patch.centre, full.height())),
                   fromPatch(patch, full, QRect(full.width() - tail, 0, tail, full.height())),
                   {},
                   full.width()};
    // The repeated column's longest run of empty rows is left out.
    const QImage column = fromPatch(patch, full, QRect(patch.centre, 0, 1, full.height()));
    const auto empty = [&column](int y) { return column.pixel(0, y) == 0; };
    int skipFrom = 0;
    int skipTo = 0;
    for (int y = 0; y < full.height();) {
        int end = y;
        while (end < full.height() && empty(end))
            ++end;
        if (end - y > skipTo - skipFrom) {
            skipFrom = y;
            skipTo = end;
        }
        y = end + 1;
    }
    const int middleWidth = full.width() - patch.centre - tail;
    for (const auto& [from, to] : {std::pair{0, skipFrom}, std::pair{skipTo, full.height()}})
        if (to > from)
            laid.middle.append(
                {from, fromPatch(patch, full, QRect(patch.centre, from, middleWidth, to - from))});
    return laid;
}

void lay(QPainter& painter, QPointF at, const LaidLayer& laid)
{
    painter.drawImage(at, laid.start);
    if (laid.end.isNull())
        return;
    for (const auto& [top, rows] : laid.middle)
        painter.drawImage(at + QPointF(laid.start.width(), top), rows);
    painter.drawImage(at + QPointF(laid.width - laid.end.width(), 0), laid.end);
}

// The patches are small and kept for good; the images laid on cards of one size are given back when
// the list hides.
QuickPanelRowPatches& layerPatches()
{
    static QuickPanelRowPatches patches;
    return patches;
}

QHash<QString, QList<LaidLayer>>& laidCardLayers()
{
    static QHash<QString, QList<LaidLayer>> laid;
    return laid;
}

const QList<LaidLayer>& cardLayerImages(const QString& key, QSize cardSize, int margin,
                                        const QList<CardLayer>& layers)
{
    QHash<QString, QList<LaidLayer>>& kept = laidCardLayers();
    const QString sized = QStringLiteral("%1 %2x%3").arg(key).arg(cardSize.width()).arg(cardSize.height());
    if (const auto found = kept.constFind(sized); found != kept.constEnd())
        return *found;
    // A resized list or another appearance leaves its old images behind.
    if (kept.size() >= 16)
        kept.clear();
    QList<LaidLayer> images;
    const int side = patchCardSide(margin);
    if (cardSize.width() < side || cardSize.height() < side) {
        for (const CardLayer& layer : layers)
            images.append({paintedLayer(layer, cardSize, margin), {}, {}, cardSize.width() + 2 * margin});
        return *kept.insert(sized, std::move(images));
    }
    QuickPanelRowPatches& patches = layerPatches();
    auto patched = patches.find(key);
    if (patched == patches.end()) {
        if (patches.size() >= 16)
            patches.clear();
        patched = patches.insert(key, paintedPatches(layers, margin));
    }
    for (const QuickPanelRowPatch& patch : *patched)
        images.append(laidLayer(patch, cardSize + QSize(2 * margin, 2 * margin)));
    return *kept.insert(sized, std::move(images));
}

// Lays the layers from their images when these land on whole device pixels; a scaled painter or a
// card between pixels gets the layers painted.
void paintCardLayers(QPainter& painter, const QRectF& card, const QString& key, int margin,
                     const QList<CardLayer>& layers)
{
    const QTransform& transform = painter.deviceTransform();
    const QPointF at = transform.map(card.topLeft());
    if (transform.type() > QTransform::TxTranslate || painter.device()->devicePixelRatio() != 1 ||
        at != at.toPoint() || card.size() != card.size().toSize()) {
        for (const CardLayer& layer : layers)
            layer(painter, card);
        return;
    }
    for (const LaidLayer& laid : cardLayerImages(key, card.size().toSize(), margin, layers))
        lay(painter, card.topLeft() - QPointF(margin, margin), laid);
}

QString shadowKey(const RowShadow& shadow)
{
    return QStringLiteral("shadow %1").arg(shadow.radius);
}

int shadowMargin(const RowShadow& shadow)
{
    return int(std::ceil(shadow.radius + shadow.drop + 1));
}

void paintShadow(QPainter& painter, const QRectF& card, const RowShadow& shadow)
{
    paintCardLayers(painter, card, shadowKey(shadow), shadowMargin(shadow), shadowLayers(shadow));
}

void paintText(QPainter& painter, const QuickPanelRowText& text, const QFont& font, const QColor& color)
{
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(text.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text.text);
}

} // namespace

void releaseQuickPanelRowImages()
{
    laidCardLayers() = {};
}

QuickPanelRowPatches paintQuickPanelRowShadowPatches()
{
    QuickPanelRowPatches patches;
    for (const RowShadow& shadow : {selectedShadow, plainShadow})
        patches.insert(shadowKey(shadow), paintedPatches(shadowLayers(shadow), shadowMargin(shadow)));
    return patches;
}

void keepQuickPanelRowPatches(QuickPanelRowPatches patches)
{
    QuickPanelRowPatches& kept = layerPatches();
    for (auto patch = patches.begin(); patch != patches.end(); ++patch)
        if (!kept.contains(patch.key()))
            kept.insert(patch.key(), std::move(patch.value()));
}

double quickPanelRowHeight()
{
    return std::ceil(std::max(iconSize, columnHeight()) + 2 * paddingY);
}

double quickPanelRowShadowReach()
{
    return selectedShadow.radius + selectedShadow.drop;
}

QuickPanelRowLayout layoutQuickPanelRow(const QuickPanelRowContent& content, const QRectF& card)
{
    QuickPanelRowLayout layout;
    layout.card = card;
    const double centreY = card.center().y();
    layout.iconTile = QRectF(card.left() + paddingX, centreY - iconSize / 2, iconSize, iconSize);

    const double left = layout.iconTile.right() + iconSpacing;
    const double right = card.right() - paddingX;
    double top = centreY - columnHeight() / 2;

    // Title line: the count keeps its place at the trailing edge, the badge follows the title, and
    // the title gives way to both.
    const double titleHeight = titleLineHeight();
    double titleRoom = right - left;
    if (content.linkedItemCount >= 1) {
        const QString count = QString::number(content.linkedItemCount);
        const double textWidth = QFontMetricsF(captionFont()).horizontalAdvance(count) + 1;
        const QRectF textRect(right - textWidth, top, textWidth, titleHeight);
        layout.linkCount = QuickPanelRowText{count, textRect};
        layout.linkGlyph = QRectF(textRect.left() - countGlyphSpacing - countGlyphSize,
                                  top + (titleHeight - countGlyphSize) / 2, countGlyphSize, countGlyphSize);
        titleRoom = layout.linkGlyph.left() - titleSpacing - left;
    }
    const std::optional<QString> badge = badgeText(content.kind);
    double badgeWidth = 0;
    if (badge) {
        badgeWidth = QFontMetricsF(rowBadgeFont()).horizontalAdvance(*badge) + 2 * rowBadgePaddingX;
        titleRoom -= badgeWidth + titleSpacing;
    }
    layout.title = placeText(content.title, titleFont(), left, top, titleHeight, titleRoom);
    if (badge) {
        const double height = badgeHeight();
        layout.badge =
            QuickPanelRowText{*badge, QRectF(layout.title.rect.right() + titleSpacing,
                                             top + (titleHeight - height) / 2, badgeWidth, height)};
    }
    top += titleHeight + lineSpacing;

    const double captionHeight = lineHeight(captionFont());
    layout.subtitle = placeText(content.subtitle, captionFont(), left, top, captionHeight, right - left);
    top += captionHeight + lineSpacing;

    double x = left;
    for (const QString& text : metaTexts(content)) {
        if (x >= right)
            break;
        layout.meta.append(placeText(text, metaFont(), x, top, lineHeight(metaFont()), right - x));
        x = layout.meta.last().rect.right() + metaSpacing;
    }
    return layout;
}

QuickPanelRowLayout movedQuickPanelRowLayout(QuickPanelRowLayout layout, QPointF offset)
{
    for (QRectF* rect :
         {&layout.card, &layout.iconTile, &layout.title.rect, &layout.linkGlyph, &layout.subtitle.rect})
        rect->translate(offset);
    for (std::optional<QuickPanelRowText>* text : {&layout.badge, &layout.linkCount})
        if (*text)
            (*text)->rect.translate(offset);
    for (QuickPanelRowText& text : layout.meta)
        text.rect.translate(offset);
    return layout;
}

void paintQuickPanelRow(QPainter& painter, const QuickPanelRowContent& content, const QRectF& card,
                        QuickPanelRowState state, const AppearanceService* appearance)
{
    paintQuickPanelRow(painter, content, layoutQuickPanelRow(content, card), state, appearance);
}

void paintQuickPanelRow(QPainter& painter, const QuickPanelRowContent& content,
                        const QuickPanelRowLayout& layout, QuickPanelRowState state,
                        const AppearanceService* appearance)
{
    const QRectF& card = layout.card;
    const LinkTypePresentation type = presentation(content.type);
    const QColor tint = paintColor(type.color, appearance);
    const QColor accent = paintColor(SystemColor::accent, appearance);
    const QPainterPath shape = cardPath(card);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintShadow(painter, card, state.selected ? selectedShadow : plainShadow);

    if (state.selected) {
        QLinearGradient wash(card.topLeft(), card.bottomRight());
        wash.setColorAt(0, withAlpha(accent, 0.18));
        wash.setColorAt(1, withAlpha(tint, 0.11));
        painter.fillPath(shape, wash);
    } else {
        const QColor fill = paintColor(SharedColors::cardFill, appearance);
        paintCardLayers(painter, card, QStringLiteral("fill %1").arg(fill.rgba(), 0, 16), 0,
                        {fillLayer(fill)});
        if (state.hovered)
            painter.fillPath(shape, paintColor(SharedColors::accentWash.withOpacity(0.5), appearance));
    }
    painter.save();
    painter.setClipPath(shape, Qt::IntersectClip);

    QPainterPath tile;
    tile.addRoundedRect(layout.iconTile, cornerRadius, cornerRadius);
    painter.fillPath(tile, state.selected ? accent : withAlpha(tint, 0.12));
    const QPointF glyphCentre = layout.iconTile.center();
    paintGlyph(painter, type.glyph,
               QRectF(glyphCentre.x() - iconGlyphSize / 2, glyphCentre.y() - iconGlyphSize / 2, iconGlyphSize,
                      iconGlyphSize),
               state.selected ? QColor(Qt::white) : tint);

    const QColor secondary = paintColor(SystemColor::secondaryLabel, appearance);
    paintText(painter, layout.title, titleFont(), paintColor(SystemColor::label, appearance));
    if (layout.badge) {
        const QColor color = paintColor(badgeColor(content.kind), appearance);
        QPainterPath pill;
        pill.addRoundedRect(layout.badge->rect, rowBadgeRadius, rowBadgeRadius);
        painter.fillPath(pill, withAlpha(color, 0.12));
        painter.setFont(rowBadgeFont());
        painter.setPen(color);
        painter.drawText(layout.badge->rect, Qt::AlignCenter | Qt::TextSingleLine, layout.badge->text);
    }
    if (layout.linkCount) {
        paintGlyph(painter, Glyph::chainLink, layout.linkGlyph, secondary);
        paintText(painter, *layout.linkCount, captionFont(), secondary);
    }
    paintText(painter, layout.subtitle, captionFont(), secondary);
    const QColor tertiary = paintColor(SystemColor::tertiaryLabel, appearance);
    for (const QuickPanelRowText& text : layout.meta)
        paintText(painter, text, metaFont(), tertiary);

    painter.restore();

    painter.setPen(
        QPen(state.selected ? withAlpha(accent, 0.62) : paintColor(SharedColors::hairline, appearance), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
    painter.restore();
}

} // namespace morvane
