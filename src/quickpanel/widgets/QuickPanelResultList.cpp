#include "QuickPanelResultList.h"

#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"
#include "model/LinkTypePresentation.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/AppSettings.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>

#include <algorithm>
#include <cmath>

namespace morvane {

namespace {

constexpr int listPadding = 12;
constexpr int rowSpacing = 6;

constexpr int emptyGlyphSize = 34;
constexpr int emptySpacing = 10;

int rowHeight()
{
    return int(std::ceil(quickPanelRowHeight()));
}

QuickPanelRowKind rowKind(PanelResult::Kind kind)
{
    switch (kind) {
    case PanelResult::Kind::link:
        return QuickPanelRowKind::link;
    case PanelResult::Kind::capture:
        return QuickPanelRowKind::capture;
    case PanelResult::Kind::fileMatch:
        return QuickPanelRowKind::fileMatch;
    }
    return QuickPanelRowKind::link;
}

QString sourceLabel(const PanelResult& result)
{
    switch (result.kind()) {
    case PanelResult::Kind::link:
        return sourceAppDisplayName(result.item()->sourceApp);
    case PanelResult::Kind::capture:
        return sourceAppDisplayName(result.context()->sourceApp);
    case PanelResult::Kind::fileMatch:
        // The match is our guess, whichever application saved the link.
        return QStringLiteral("Morvane");
    }
    return {};
}

QStringList rowIDs(const QList<PanelResult>& results)
{
    QStringList ids;
    ids.reserve(results.size());
    for (const PanelResult& result : results)
        ids.append(result.id());
    return ids;
}

} // namespace

QuickPanelRowContent quickPanelRowContent(const PanelResult& result)
{
    return {rowKind(result.kind()), result.title(),           result.subtitle(),  result.type(),
            result.tags(),          result.linkedItemCount(), sourceLabel(result)};
}

QuickPanelResultList::QuickPanelResultList(QuickPanelViewModel& model, const AppearanceService* appearance,
                                           std::function<void()> activate, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_model(model)
    , m_appearance(appearance)
    , m_activate(std::move(activate))
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The bar only shows where the list stands: the selection decides what is in view.
    verticalScrollBar()->setAttribute(Qt::WA_TransparentForMouseEvents);
    verticalScrollBar()->setSingleStep(rowHeight() + rowSpacing);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);

    connect(&m_model.state(), &QuickPanelState::resultsChanged, this, &QuickPanelResultList::resultsChanged);
    connect(&m_model.state(), &QuickPanelState::selectedIndexChanged, this, [this] {
        scrollToSelectedRow();
        viewport()->update();
    });
    m_rowIDs = rowIDs(m_model.state().results());
    updateScrollRange();
}

QuickPanelResultList::~QuickPanelResultList() = default;

void QuickPanelResultList::resultsChanged()
{
    updateScrollRange();
    QStringList ids = rowIDs(m_model.state().results());
    // A row whose content changed under the same id keeps its place; a new list of rows shows the
    // selection again.
    if (ids != m_rowIDs) {
        m_rowIDs = std::move(ids);
        m_layouts.clear();
        setHoveredRow(-1);
        scrollToSelectedRow();
    }
    viewport()->update();
}

// The rows are painted first in answer to a key. What their first paint needs besides the rows (the
// fonts and the glyphs they draw, the images of the cards' shadows and fills) is made as the list shows, by
// painting a few sample rows, plain and selected, out of sight. The cards' images are kept by the card's
// size: the list usually shows with no rows and no scroll bar, and the first key's rows bring the bar, which
// narrows the cards, so both widths are painted.
void QuickPanelResultList::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    const QScrollBar* bar = verticalScrollBar();
    const int barWidth =
        style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, bar) ? 0 : bar->sizeHint().width();
    const int widest = viewport()->width() + (bar->isVisible() ? barWidth : 0);
    for (const int width : {widest, widest - barWidth}) {
        paintSampleRows(width - 2 * listPadding);
        if (barWidth == 0)
            break;
    }
}

void QuickPanelResultList::paintSampleRows(int cardWidth)
{
    const int reach = int(std::ceil(quickPanelRowShadowReach()));
    const QRect card(reach, reach, cardWidth, rowHeight());
    if (card.width() <= 0)
        return;
    QImage canvas(card.adjusted(-reach, -reach, reach, reach).size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    const QStringList samples = {QStringLiteral("abcdefghijklm nopqrstuvwxyz"),
                                 QStringLiteral("ABCDEFGHIJKLM NOPQRSTUVWXYZ"),
                                 QStringLiteral("0123456789 .,:;-_/#%&?!()'\"")};
    for (qsizetype turn = 0; turn < samples.size(); ++turn) {
        QuickPanelRowContent sample;
        sample.title = samples[turn];
        sample.subtitle = samples[(turn + 1) % samples.size()];
        sample.sourceApp = samples[(turn + 2) % samples.size()];
        sample.tags = {QStringLiteral("tag")};
        sample.linkedItemCount = 1;
        paintQuickPanelRow(painter, sample, QRectF(card), {.selected = turn == 0, .hovered = false},
                           m_appearance);
    }
    // Each kind of link has its glyph, drawn the first time a row of that kind shows.
    for (const LinkType type : allLinkTypes())
        paintGlyph(painter, presentation(type).glyph, QRectF(card.topLeft(), QSizeF(16, 16)), Qt::black);
}

void QuickPanelResultList::hideEvent(QHideEvent* event)
{
    m_layouts = {};
    releaseQuickPanelRowImages();
    QAbstractScrollArea::hideEvent(event);
}

int QuickPanelResultList::rowTop(qint64 index) const
{
    return listPadding + int(index) * (rowHeight() + rowSpacing);
}

int QuickPanelResultList::contentHeight() const
{
    const qsizetype count = m_model.state().results().size();
    if (count == 0)
        return 0;
    return rowTop(count) - rowSpacing + listPadding;
}

void QuickPanelResultList::updateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, contentHeight() - viewport()->height()));
}

// The first row goes to the top, the last to the bottom, any other to the middle, so that the rows
// around the selection stay in view as it moves.
void QuickPanelResultList::scrollToSelectedRow()
{
    const qint64 index = m_model.state().selectedIndex();
    const qsizetype count = m_model.state().results().size();
    if (index < 0 || index >= count)
        return;
    const int top = rowTop(index);
    const int height = viewport()->height();
    int value = 0;
    if (index == 0)
        value = top - listPadding;
    else if (index == count - 1)
        value = top + rowHeight() + listPadding - height;
    else
        value = top + rowHeight() / 2 - height / 2;
    verticalScrollBar()->setValue(value); // clamped to the range
}

qint64 QuickPanelResultList::rowAt(QPoint viewportPoint) const
{
    const int y = viewportPoint.y() + verticalScrollBar()->value() - listPadding;
    if (y < 0 || viewportPoint.x() < listPadding || viewportPoint.x() >= viewport()->width() - listPadding)
        return -1;
    const int pitch = rowHeight() + rowSpacing;
    const qint64 index = y / pitch;
    if (y % pitch >= rowHeight() || index >= m_model.state().results().size())
        return -1;
    return index;
}

QRect QuickPanelResultList::rowRect(qint64 index) const
{
    return QRect(listPadding, rowTop(index) - verticalScrollBar()->value(),
                 viewport()->width() - 2 * listPadding, rowHeight());
}

void QuickPanelResultList::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<PanelResult>& results = m_model.state().results();
    if (results.isEmpty()) {
        paintEmptyState(painter);
        return;
    }
    const int reach = int(std::ceil(quickPanelRowShadowReach()));
    const QRect visible = viewport()->rect().adjusted(0, -reach, 0, reach);
    const int pitch = rowHeight() + rowSpacing;
    const qint64 first = std::max<qint64>(0, (verticalScrollBar()->value() - listPadding - reach) / pitch);
    for (qint64 index = first; index < results.size(); ++index) {
        const QRect card = rowRect(index);
        if (card.top() > visible.bottom())
            break;
        if (!card.intersects(visible))
            continue;
        const QuickPanelRowState state{.selected = index == m_model.state().selectedIndex(),
                                       .hovered = index == m_hoveredRow};
        const QuickPanelRowContent content = quickPanelRowContent(results[index]);
        paintQuickPanelRow(painter, content, rowLayout(results[index].id(), content, card), state,
                           m_appearance);
    }
}

QuickPanelRowLayout QuickPanelResultList::rowLayout(const QString& rowID, const QuickPanelRowContent& content,
                                                    const QRect& card)
{
    LaidOutRow& laidOut = m_layouts[rowID];
    if (laidOut.content != content || laidOut.layout.card.size() != QSizeF(card.size())) {
        laidOut.content = content;
        laidOut.layout = layoutQuickPanelRow(content, QRectF(QPointF(0, 0), QSizeF(card.size())));
    }
    return movedQuickPanelRowLayout(laidOut.layout, card.topLeft());
}

void QuickPanelResultList::paintEmptyState(QPainter& painter)
{
    const QString heading = QStringLiteral("No matching links");
    const QString hint = m_model.search().emptyStateHint();
    const QFont headingFont = textFont(TextStyle::headline);
    const QFont hintFont = textFont(TextStyle::caption);
    const int headingHeight = QFontMetrics(headingFont).height();
    const int hintHeight = QFontMetrics(hintFont).height();
    const int stackHeight = emptyGlyphSize + emptySpacing + headingHeight + emptySpacing + hintHeight;

    const QRect area = viewport()->rect();
    const QColor secondary = paintColor(SystemColor::secondaryLabel, m_appearance);
    int y = area.center().y() - stackHeight / 2;
    paintGlyph(painter, Glyph::linkPlus,
               QRectF(area.center().x() - emptyGlyphSize / 2.0, y, emptyGlyphSize, emptyGlyphSize),
               secondary);
    y += emptyGlyphSize + emptySpacing;
    painter.setFont(headingFont);
    painter.setPen(paintColor(SystemColor::label, m_appearance));
    painter.drawText(QRect(area.left(), y, area.width(), headingHeight), Qt::AlignCenter, heading);
    y += headingHeight + emptySpacing;
    painter.setFont(hintFont);
    painter.setPen(secondary);
    painter.drawText(QRect(area.left(), y, area.width(), hintHeight), Qt::AlignCenter, hint);
}

void QuickPanelResultList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void QuickPanelResultList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const qint64 index = rowAt(event->position().toPoint());
    m_pressedRowID = index >= 0 ? m_rowIDs.value(index) : QString();
    m_pressedAt = event->position().toPoint();
    if (index >= 0)
        m_model.state().selectResult(index);
}

void QuickPanelResultList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The first click of the pair may have scrolled the list to centre its row: the second lands on
    // whatever moved under the pointer, but the pair is meant for the row the first one hit.
    const QPoint at = event->position().toPoint();
    const bool samePlace =
        (at - m_pressedAt).manhattanLength() <= QGuiApplication::styleHints()->mouseDoubleClickDistance();
    const qint64 index =
        samePlace && !m_pressedRowID.isEmpty() ? m_rowIDs.indexOf(m_pressedRowID) : rowAt(at);
    if (index < 0)
        return;
    m_model.state().selectResult(index);
    if (m_activate)
        m_activate();
}

void QuickPanelResultList::mouseMoveEvent(QMouseEvent* event)
{
    setHoveredRow(rowAt(event->position().toPoint()));
}

void QuickPanelResultList::leaveEvent(QEvent* event)
{
    setHoveredRow(-1);
    QAbstractScrollArea::leaveEvent(event);
}

void QuickPanelResultList::setHoveredRow(qint64 index)
{
    if (index == m_hoveredRow)
        return;
    m_hoveredRow = index;
    viewport()->update();
}

void QuickPanelResultList::wheelEvent(QWheelEvent* event)
{
    // The wheel steps the selection; that is the window's business, so the list lets it pass.
    event->ignore();
}

std::unique_ptr<QMenu> QuickPanelResultList::rowMenu(QPoint viewportPoint)
{
    const qint64 index = rowAt(viewportPoint);
    if (index < 0)
        return nullptr;
    const PanelResult& result = m_model.state().results().at(index);
    // The menu acts on this row even if the list is reloaded while the menu is open, and on nothing
    // once the row is gone.
    const QString rowID = result.id();
    const auto onRow = [this, rowID](std::function<void()> command) {
        return [this, rowID, command = std::move(command)] {
            const qint64 current = m_rowIDs.indexOf(rowID);
            if (current < 0)
                return;
            m_model.state().selectResult(current);
            command();
        };
    };
    const auto activate = [this] {
        if (m_activate)
            m_activate();
    };

    auto menu = std::make_unique<QMenu>();
    switch (result.kind()) {
    case PanelResult::Kind::link: {
        // Asked before the click selects the row, as the menu is built.
        const bool canRemoveRelation = m_model.commands().canRemoveRelation();
        menu->addAction(QStringLiteral("Open"), onRow(activate));
        menu->addAction(QStringLiteral("Copy"), onRow([this] {
                            AppSettings* preferences = m_model.preferences();
                            m_model.commands().copySelected(preferences ? preferences->defaultCopyFormat()
                                                                        : CopyFormat::url);
                        }));
        if (canRemoveRelation)
            menu->addAction(QStringLiteral("Remove Relation"),
                            onRow([this] { m_model.commands().requestRemoveRelation(); }));
        menu->addAction(QStringLiteral("Link to Another Item"),
                        onRow([this] { m_model.commands().beginRelation(); }));
        menu->addAction(QStringLiteral("Show Backlinks"),
                        onRow([this] { m_model.commands().showBacklinks(); }));
        menu->addSeparator();
        menu->addAction(QStringLiteral("Delete Link"), onRow([this] { m_model.commands().requestDelete(); }));
        break;
    }
    case PanelResult::Kind::capture:
        menu->addAction(QStringLiteral("Add This Item"), onRow(activate));
        break;
    case PanelResult::Kind::fileMatch:
        menu->addAction(QStringLiteral("Use This File"), onRow(activate));
        break;
    }
    return menu;
}

void QuickPanelResultList::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu = rowMenu(event->pos());
    if (!menu)
        return;
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(event->globalPos());
}

} // namespace morvane
