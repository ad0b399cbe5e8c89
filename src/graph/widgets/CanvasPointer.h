#pragma once

#include "GraphViewport.h"

#include <QPointF>
#include <QUuid>

#include <optional>

namespace morvane {

class GraphViewModel;

// What the pointer does on the graph canvas, apart from the widget events that carry it: a press on
// empty canvas that travels far enough pans the view, one on a node card moves the node, one that
// stays put is a click; a pinch zooms. Translations are measured from where the button went down, so
// the view and a dragged card follow the pointer one to one. Zooming never touches the pan: it scales
// about the drawn layout origin, not the pointer.
class CanvasPointer {
public:
    // Below these distances in pixels a press is still a click.
    static constexpr double canvasDragDistance = 3;
    static constexpr double nodeDragDistance = 2;

    // The model and the viewport outlive the pointer.
    CanvasPointer(GraphViewModel& model, GraphViewport& viewport);

    // A press of the primary button, on the card of `node` or on empty canvas.
    void press(QPointF at, std::optional<QUuid> node);
    // The second press of a double click: opens the link of the node the first press hit, and its
    // release is no click.
    void doubleClick(QPointF at, std::optional<QUuid> node);
    // True when the view or a node moved.
    bool move(QPointF at);
    void release();

    // `magnification` is the pinch's total factor since it began.
    void magnify(double magnification);
    void endMagnification();

private:
    enum class Press { none, canvas, node };

    GraphViewModel& m_model;
    GraphViewport& m_viewport;

    Press m_press = Press::none;
    QUuid m_node;
    QPointF m_pressedAt;
    bool m_dragging = false;
    bool m_secondClick = false;
    QPointF m_dragStartOffset;
    QPointF m_nodeDragStartPosition;
    bool m_magnifying = false;
    double m_magnificationStartScale = 1;
};

} // namespace morvane
