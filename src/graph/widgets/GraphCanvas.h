#pragma once

#include "CanvasPointer.h"
#include "GraphRenderer.h"
#include "GraphViewport.h"

#include <QHash>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>
#include <vector>

class QHelpEvent;

namespace morvane {

class AppearanceService;
class DeleteConfirmationOverlay;
class GraphViewModel;

// The graph's drawing surface: paints the model at each change at the current zoom and pan, fits the
// whole graph in view when the layout first comes to rest after opening (unless the user chose a
// zoom), keeps the selected node in view, lays the delete and relation-removal confirmations over itself
// while the model has one pending, and turns keys into the graph's commands. The pointer pans the view,
// moves, clicks and opens nodes and opens a node's menu; a pinch or Ctrl with the wheel zooms. The
// model runs its layout and watches the library only while the canvas is shown.
class GraphCanvas : public QWidget {
    Q_OBJECT
public:
    // The model and the appearance service outlive the canvas.
    GraphCanvas(GraphViewModel& model, const AppearanceService* appearance, QWidget* parent = nullptr);

    const GraphViewport& viewport() const { return m_viewport; }
    void zoomBy(double factor);
    void resetViewport();
    // Pans so that the selected node ends at the centre: where the layout is taking it when it glides
    // it to the origin, else where it is.
    void centerOnSelection();
    // The node whose card is topmost under the point, if any.
    std::optional<QUuid> nodeAt(QPointF point) const;

signals:
    // Escape with nothing pending: the window hides.
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool nodesMovedVisibly() const;
    void userZoomed();
    void zoomChanged();
    void fitGraph();
    void followSelection();
    void syncOverlays();
    void showNodeToolTip(const QHelpEvent& event);

    GraphViewModel& m_model;
    const AppearanceService* m_appearance;
    GraphRenderer m_renderer;
    GraphViewport m_viewport;
    CanvasPointer m_pointer{m_model, m_viewport};
    // A pinch's total magnification since it began.
    double m_pinch = 1;
    // What the last frame drew of each node that a change in place can alter, the revisions of the
    // nodes and of their places, and the nodes' index (replaced with the nodes). Not the places
    // themselves: the layout's next step would copy them all before moving them.
    struct PaintedNode {
        QPointF position;
        int degree = 0;
        NodeHealth health = NodeHealth::orphan;
    };
    std::vector<PaintedNode> m_paintedNodes;
    quint64 m_paintedRevision = 0;
    quint64 m_paintedPlacesRevision = 0;
    QHash<QUuid, qsizetype> m_paintedIndex;
    std::optional<QUuid> m_followedSelection;
    // The user has chosen a zoom, and the view should fit the graph when the layout next settles.
    bool m_userZoomed = false;
    bool m_fitOnSettle = false;
    QPointer<DeleteConfirmationOverlay> m_deleteOverlay;
    QPointer<DeleteConfirmationOverlay> m_relationOverlay;
};

} // namespace morvane
