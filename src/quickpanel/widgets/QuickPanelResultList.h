#pragma once

#include "QuickPanelResultRow.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

class QMenu;

namespace morvane {

class AppearanceService;
class PanelResult;
class QuickPanelViewModel;

// What a result row shows, taken from the row's payload.
QuickPanelRowContent quickPanelRowContent(const PanelResult& result);

// The panel's result list: every row is painted by this one widget, all at the same height, with an
// empty state when there is nothing to show. The list never scrolls by the user's hand (the wheel
// moves the selection, which the window's input rules do); it follows the selection instead,
// keeping the selected row in view without animation.
//
// A click selects the row, a double click selects it and runs `activate`, a right click offers the
// row's own menu.
class QuickPanelResultList : public QAbstractScrollArea {
    Q_OBJECT
public:
    QuickPanelResultList(QuickPanelViewModel& model, const AppearanceService* appearance,
                         std::function<void()> activate, QWidget* parent = nullptr);
    ~QuickPanelResultList() override;

    // The row under a point of the viewport, -1 for none (padding, gaps between cards, empty space).
    qint64 rowAt(QPoint viewportPoint) const;
    // The card of a row in viewport coordinates, as currently scrolled.
    QRect rowRect(qint64 index) const;

    // The context menu of the row under the point, none off the rows. What it offers is decided
    // from the panel's state now, before the row is selected; each of its items selects the row
    // first.
    std::unique_ptr<QMenu> rowMenu(QPoint viewportPoint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // What was kept to paint the rows again quickly is given back while the list is out of sight, and
    // made again as it shows.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void resultsChanged();
    void updateScrollRange();
    void scrollToSelectedRow();
    int contentHeight() const;
    int rowTop(qint64 index) const;
    void paintEmptyState(QPainter& painter);
    // Out of sight, to make what the first visible paint of rows of this width would make.
    void paintSampleRows(int cardWidth);
    void setHoveredRow(qint64 index);
    // The row's layout for this card, made again only when the row's content or the card's size
    // changed since the last paint.
    QuickPanelRowLayout rowLayout(const QString& rowID, const QuickPanelRowContent& content,
                                  const QRect& card);

    QuickPanelViewModel& m_model;
    const AppearanceService* m_appearance;
    std::function<void()> m_activate;
    QStringList m_rowIDs;
    // The row the last press hit, by id, as a double click belongs to it.
    QString m_pressedRowID;
    QPoint m_pressedAt;
    qint64 m_hoveredRow = -1;
    // The rows' layouts as last painted, for a card at the origin, by row id; a new list of rows
    // starts them again.
    struct LaidOutRow {
        QuickPanelRowContent content;
        QuickPanelRowLayout layout;
    };
    QHash<QString, LaidOutRow> m_layouts;
};

} // namespace morvane
