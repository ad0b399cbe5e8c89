#include "NodeCardStyle.h"

#include "GraphPalette.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"
#include "foundation/SystemColor.h"
#include "model/LinkTypePresentation.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

namespace morvane {

namespace {

constexpr AppearanceColor white{{1, 1, 1, 1}, {1, 1, 1, 1}};

QFont titleFont(bool highlighted)
{
    QFont font = textFont(TextStyle::caption2);
    font.setWeight(highlighted ? QFont::DemiBold : QFont::Normal);
    return font;
}

struct TitleChip {
    QString shown;
    QRectF rect;
};

// The title, cut to the chip slot, and its chip centred under the disc.
TitleChip titleChip(const NodeCardStyle& style, const QString& title, const QFontMetricsF& metrics)
{
    const double maxText = NodeCardStyle::chipSlotWidth - 12;
    const QString shown = metrics.elidedText(title, Qt::ElideRight, maxText);
    const double textWidth = std::min(metrics.horizontalAdvance(shown), maxText);
    return {shown, QRectF(-(textWidth + 12) / 2, style.discSize / 2 + NodeCardStyle::discChipSpacing,
                          textWidth + 12, metrics.height() + 4)};
}

// How far the shadow reaches beyond the disc.
constexpr double shadowReach = 12;

} // namespace

QRectF nodeCardBounds(const NodeCardStyle& style, const QString& title)
{
    const double reach = style.discSize / 2 + shadowReach;
    const QRectF disc(-reach, -reach, 2 * reach, 2 * reach);
    return disc.united(titleChip(style, title, QFontMetricsF(titleFont(style.highlighted))).rect)
        .adjusted(-1, -1, 1, 1);
}

QRectF nodeCardHitArea(const NodeCardStyle& style, const QString& title)
{
    const double radius = style.discSize / 2;
    const QRectF disc(-radius, -radius, style.discSize, style.discSize);
    // A card drawn without its title is its disc alone.
    if (title.isEmpty())
        return disc;
    return disc.united(titleChip(style, title, QFontMetricsF(titleFont(style.highlighted))).rect);
}

NodeCardStyle NodeCardStyle::of(const GraphNode& node, const NodeCardFlags& flags)
{
    NodeCardStyle style;
    style.type = node.type;
    style.highlighted = flags.highlighted();
    style.discSize = std::min(20.0 + 4.0 * node.degree, 48.0);
    style.symbolSize = std::max(0.42 * style.discSize, 10.0);
    style.badgeOffset = 0.34 * style.discSize;
    if (node.health == NodeHealth::weak)
        style.badge = GraphPalette::weak;
    else if (node.health == NodeHealth::orphan)
        style.badge = GraphPalette::orphan;

    // The ring puts the keyboard anchor above selection; the chip fill ignores the anchor.
    if (flags.isLinkingSource)
        style.ring = systemColor(SystemColor::green);
    else if (flags.isActive)
        style.ring = systemColor(SystemColor::yellow);
    else if (flags.isKeyboardNavigationAnchor)
        style.ring = GraphPalette::keyboardFocus;
    else if (flags.isSelected || flags.isCentered)
        style.ring = GraphPalette::accent;
    else
        style.ring = white.withOpacity(0.55);
    style.ringWidth = style.highlighted || flags.isKeyboardNavigationAnchor ? 3 : 1;

    if (flags.isLinkingSource)
        style.chipFill = systemColor(SystemColor::green).withOpacity(0.22);
    else if (flags.isActive)
        style.chipFill = systemColor(SystemColor::yellow).withOpacity(0.28);
    else if (flags.isSelected || flags.isCentered)
        style.chipFill = GraphPalette::accentSoft;
    return style;
}

quint64 NodeCardStyle::key() const
{
    // The disc size follows from the degree (capped), the rest are the flags' consequences.
    quint64 key = quint64(discSize) & 0xff;
    key = key << 8 | quint64(type);
    key = key << 4 | (badge == GraphPalette::weak ? 1 : badge ? 2 : 0);
    key = key << 4 | quint64(ringWidth);
    key = key << 1 | highlighted;
    const auto colourBits = [](const std::optional<AppearanceColor>& c) -> quint64 {
        return c ? quint64(c->light.red * 255) << 16 | quint64(c->light.green * 255) << 8 |
                       quint64(c->light.alpha * 255)
                 : 0;
    };
    key = key * 1000003 ^ colourBits(ring);
    key = key * 1000003 ^ colourBits(chipFill);
    return key;
}

void paintNodeCard(QPainter& painter, const NodeCardStyle& style, const QString& title,
                   const AppearanceService* appearance)
{
    const auto typeStyle = presentation(style.type);
    const QColor typeColor = paintColor(typeStyle.color, appearance);
    const double s = style.discSize;
    const QRectF disc(-s / 2, -s / 2, s, s);
    const auto withAlpha = [](QColor c, double alpha) {
        c.setAlphaF(float(c.alphaF() * alpha));
        return c;
    };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // Shadow: a soft disc below, in the type colour.
    const double shadowOpacity = style.highlighted ? 0.32 : 0.14;
    const double blur = style.highlighted ? 12 : 5;
    const double drop = style.highlighted ? 4 : 2;
    QRadialGradient shadow(QPointF(0, drop), s / 2 + blur / 2);
    shadow.setColorAt(1 - blur / (s + blur), withAlpha(typeColor, shadowOpacity));
    shadow.setColorAt(1, withAlpha(typeColor, 0));
    painter.setBrush(shadow);
    painter.drawEllipse(QPointF(0, drop), s / 2 + blur / 2, s / 2 + blur / 2);

    QRadialGradient fill(disc.topLeft(), s, disc.topLeft());
    fill.setColorAt(2.0 / s, withAlpha(typeColor, style.highlighted ? 0.98 : 0.84));
    fill.setColorAt(1, withAlpha(typeColor, style.highlighted ? 0.72 : 0.56));
    painter.setBrush(fill);
    painter.drawEllipse(disc);

    // The ring lies wholly inside the disc.
    const double w = style.ringWidth;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(paintColor(style.ring, appearance), w));
    painter.drawEllipse(disc.adjusted(w / 2, w / 2, -w / 2, -w / 2));

    if (style.badge) {
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.76f), 1));
        painter.setBrush(paintColor(*style.badge, appearance));
        painter.drawEllipse(QPointF(style.badgeOffset, style.badgeOffset), 4, 4);
    }

    const double glyph = style.symbolSize;
    paintGlyph(painter, typeStyle.glyph, QRectF(-glyph / 2, -glyph / 2, glyph, glyph), Qt::white);

    // Title chip, centred in its slot under the disc.
    const QFont font = titleFont(style.highlighted);
    const QFontMetricsF metrics(font);
    const auto [shown, chip] = titleChip(style, title, metrics);
    painter.setPen(style.highlighted ? QPen(withAlpha(typeColor, 0.18), 1) : QPen(Qt::NoPen));
    painter.setBrush(style.chipFill ? QBrush(paintColor(*style.chipFill, appearance)) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(chip.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.setFont(font);
    painter.setPen(
        paintColor(style.highlighted ? SystemColor::label : SystemColor::secondaryLabel, appearance));
    painter.drawText(chip.adjusted(6, 2, -6, -2), Qt::AlignCenter | Qt::TextSingleLine, shown);
    painter.restore();
}

} // namespace morvane
