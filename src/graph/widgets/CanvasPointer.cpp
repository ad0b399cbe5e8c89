#include "CanvasPointer.h"

#include "graph/GraphViewModel.h"

#include <QLineF>

namespace morvane {

CanvasPointer::CanvasPointer(GraphViewModel& model, GraphViewport& viewport)
    : m_model(model)
    , m_viewport(viewport)
{
}

void CanvasPointer::press(QPointF at, std::optional<QUuid> node)
{
    m_press = node ? Press::node : Press::canvas;
    m_node = node.value_or(QUuid());
    m_pressedAt = at;
    m_dragging = false;
    m_secondClick = false;
}

void CanvasPointer::doubleClick(QPointF at, std::optional<QUuid> node)
{
    // The first click may have moved the view to centre its node, so what lies under the pointer
    // now need not be what the user double-clicked: the first press tells.
    const std::optional<QUuid> clicked = m_node.isNull() ? node : m_node;
    press(at, clicked);
    m_secondClick = true;
    if (clicked)
        m_model.commands().openItem(*clicked);
}

bool CanvasPointer::move(QPointF at)
{
    if (m_press == Press::none)
        return false;
    const QPointF translation = at - m_pressedAt;
    if (!m_dragging) {
        const double threshold = m_press == Press::node ? nodeDragDistance : canvasDragDistance;
        if (QLineF(m_pressedAt, at).length() < threshold)
            return false;
        m_dragging = true;
        if (m_press == Press::canvas)
            m_dragStartOffset = m_viewport.pan;
    }
    if (m_press == Press::canvas) {
        m_viewport.pan = m_dragStartOffset + translation;
        return true;
    }
    // The start is taken at the first move: from then on the model names this node as the dragged one.
    if (m_model.layout().draggingNodeID() != m_node) {
        if (const auto position = m_model.layout().placements().positionOf(m_node))
            m_nodeDragStartPosition = *position;
    }
    m_model.layout().dragNode(m_node, m_nodeDragStartPosition + translation / m_viewport.scale);
    return true;
}

void CanvasPointer::release()
{
    if (m_press == Press::node) {
        if (m_dragging)
            m_model.layout().endDrag(m_node);
        else if (!m_secondClick)
            m_model.commands().handleNodeClick(m_node);
    }
    m_press = Press::none;
    m_dragging = false;
}

void CanvasPointer::magnify(double magnification)
{
    if (!m_magnifying) {
        m_magnificationStartScale = m_viewport.scale;
        m_magnifying = true;
    }
    m_viewport.scale = GraphViewport::clampScale(m_magnificationStartScale * magnification);
}

void CanvasPointer::endMagnification()
{
    m_magnifying = false;
}

} // namespace morvane
