#pragma once

#include "model/LinkType.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

class QPainter;

namespace morvane {

class AppearanceService;

enum class QuickPanelRowKind { link, capture, fileMatch };

// What one result row shows, as plain texts and numbers.
struct QuickPanelRowContent {
    QuickPanelRowKind kind = QuickPanelRowKind::link;
    QString title;
    QString subtitle;
    LinkType type = LinkType::file;
    QStringList tags;
    int linkedItemCount = 0;
    // The application the link or the captured item came from. A file-match row names us instead:
    // the match was our guess, whatever application saved the link.
    QString sourceApp;

    bool operator==(const QuickPanelRowContent&) const = default;
};

struct QuickPanelRowState {
    bool selected = false;
    bool hovered = false;
};

struct QuickPanelRowText {
    QString text; // as shown, elided to fit
    QRectF rect;
};

// Where each part of a row goes inside its card. The painter draws from it, and the list can use it
// to know what a row shows.
struct QuickPanelRowLayout {
    QRectF card;
    QRectF iconTile;
    QuickPanelRowText title;
    // "Add" on a capture row, "Possible match" on a file-match row; the rect is the badge's pill.
    std::optional<QuickPanelRowText> badge;
    // The relation count with its chain glyph in front; none without relations.
    std::optional<QuickPanelRowText> linkCount;
    QRectF linkGlyph;
    QuickPanelRowText subtitle;
    // The type label, the source when there is one, and the tags as "#a #b" when there are some.
    QList<QuickPanelRowText> meta;
};

// Gives back the images laid round cards of one size; the next paint makes them again from the patches
// below, which stay.
void releaseQuickPanelRowImages();

// What a row lays round its card (a shadow, a fill) painted once round a small card, from which the
// images for a card of any size are made by repeating the centre row and column.
struct QuickPanelRowPatch {
    QImage image;
    int centre = 0; // the row and the column repeated
};
// By what they are painted for.
using QuickPanelRowPatches = QHash<QString, QList<QuickPanelRowPatch>>;

// The patches of the rows' two shadows, which no appearance changes: painted on any thread, ahead of
// the first paint, and given to keepQuickPanelRowPatches on the main thread, which the rows paint on.
QuickPanelRowPatches paintQuickPanelRowShadowPatches();
void keepQuickPanelRowPatches(QuickPanelRowPatches patches);

// A card's height when its texts lie at their natural sizes; the list gives every row at least the
// height of its tallest one.
double quickPanelRowHeight();

// How far the row's shadow reaches beyond its card: the list keeps this much room around each card.
double quickPanelRowShadowReach();

QuickPanelRowLayout layoutQuickPanelRow(const QuickPanelRowContent& content, const QRectF& card);

// The same layout for the card moved by offset.
QuickPanelRowLayout movedQuickPanelRowLayout(QuickPanelRowLayout layout, QPointF offset);

// Paints the row's card into card, its shadow just outside. Colours follow the appearance at paint
// time (light when none is given).
void paintQuickPanelRow(QPainter& painter, const QuickPanelRowContent& content, const QRectF& card,
                        QuickPanelRowState state, const AppearanceService* appearance);
// The same from the row's layout for its card, which a caller that paints the row again may keep
// (moved with the card) while the content and the card's size stay as they were.
void paintQuickPanelRow(QPainter& painter, const QuickPanelRowContent& content,
                        const QuickPanelRowLayout& layout, QuickPanelRowState state,
                        const AppearanceService* appearance);

} // namespace morvane
