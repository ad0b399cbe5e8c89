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
// is kept as images, one a layer, each with the card at (margin, margin), and laid in place without
// an antialiased fill (which the raster engine spreads over threads and waits for). A layer painted
// onto a transparent image, and that image drawn onto the background, give the very pixels of the
// layer painted onto the background; two layers in one image would not.
QHash<QString, QList<QImage>>& paintedCardLayers()
{
    static QHash<QString, QList<QImage>> painted;
    return painted;
}

const QList<QImage>& cardLayerImages(const QString& key, QSizeF cardSize, int margin,
                                     const QList<CardLayer>& layers)
{
    QHash<QString, QList<QImage>>& painted = paintedCardLayers();
    const QString sized = QStringLiteral("%1 %2x%3").arg(key).arg(cardSize.width()).arg(cardSize.height());
    if (const auto found = painted.constFind(sized); found != painted.constEnd())
        return *found;
    // A resized list or another appearance leaves its old images behind.
    if (painted.size() >= 16)
        painted.clear();
    const QRectF card(QPointF(margin, margin), cardSize);
    QList<QImage> images;
    for (const CardLayer& layer : layers) {
        QImage image(card.adjusted(-margin, -margin, margin, margin).size().toSize(),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        layer(painter, card);
        painter.end();
        images.append(std::move(image));
    }
    return *painted.insert(sized, std::move(images));
}

// Paints the layers from their images when these land on whole device pixels; a scaled painter or a
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
    for (const QImage& image : cardLayerImages(key, card.size(), margin, layers))
        painter.drawImage(card.topLeft() - QPointF(margin, margin), image);
}

void paintShadow(QPainter& painter, const QRectF& card, const RowShadow& shadow)
{
    paintCardLayers(painter, card, QStringLiteral("shadow %1").arg(shadow.radius),
                    int(std::ceil(shadow.radius + shadow.drop + 1)), shadowLayers(shadow));
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
    paintedCardLayers() = {};
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
