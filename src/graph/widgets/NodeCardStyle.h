#pragma once

#include "GraphScene.h"
#include "foundation/AppearanceColor.h"
#include "model/LinkType.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

namespace morvane {

class AppearanceService;

// How one node card looks, as plain values: a disc graded in the type's colour that grows with the
// node's relations, a ring for its state, a health badge, and the title on a chip underneath.
struct NodeCardStyle {
    static constexpr double chipSlotWidth = 128;
    static constexpr double discChipSpacing = 5;

    LinkType type = LinkType::web;
    double discSize = 20;
    double symbolSize = 10;
    // From the disc's centre towards the lower trailing edge; no badge for a connected node.
    double badgeOffset = 6.8;
    std::optional<AppearanceColor> badge;
    AppearanceColor ring;
    double ringWidth = 1;
    std::optional<AppearanceColor> chipFill;
    bool highlighted = false;

    static NodeCardStyle of(const GraphNode& node, const NodeCardFlags& flags);

    // The cache key of the painted card: everything but the title, and the appearance.
    quint64 key() const;
};

// The area the painted card covers around its disc centre, shadow included.
QRectF nodeCardBounds(const NodeCardStyle& style, const QString& title);

// What takes the pointer: the disc and the title chip (none for an empty title), around the disc centre.
QRectF nodeCardHitArea(const NodeCardStyle& style, const QString& title);

// Paints the card with its disc centred at the origin of the painter.
void paintNodeCard(QPainter& painter, const NodeCardStyle& style, const QString& title,
                   const AppearanceService* appearance);

} // namespace morvane
