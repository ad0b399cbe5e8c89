#include "GraphCanvas.h"

#include "GraphScene.h"
#include "desktop/DeleteConfirmationOverlay.h"
#include "graph/GraphKeyMap.h"
#include "graph/GraphViewModel.h"

#include <QKeyEvent>
#include <QPainter>

namespace morvane {

GraphCanvas::GraphCanvas(GraphViewModel& model, const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_appearance(appearance)
    , m_renderer(appearance)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto repaint = [this] { update(); };
    for (const auto signal :
         {&GraphViewModel::nodesChanged, &GraphViewModel::edgesChanged, &GraphViewModel::activeNodeIDChanged,
          &GraphViewModel::centeredNodeIDChanged, &GraphViewModel::linkingSourceNodeIDChanged,
          &GraphViewModel::scopeChanged, &GraphViewModel::keyboardRelationNavigationChanged})
        connect(&m_model, signal, this, repaint);
    // Queued: centring selects the node before it tells the layout to glide it, and the view must see
    // both to know where the node is going.
    connect(&m_model, &GraphViewModel::selectedNodeIDChanged, this, &GraphCanvas::followSelection,
            Qt::QueuedConnection);
    connect(&m_model, &GraphViewModel::selectedNodeIDChanged, this, repaint);
    connect(&m_model, &GraphViewModel::pendingDeleteItemChanged, this, &GraphCanvas::syncOverlays);
    connect(&m_model, &GraphViewModel::pendingRelationDeleteChanged, this, &GraphCanvas::syncOverlays);
}

void GraphCanvas::zoomBy(double factor)
{
    m_viewport.zoomBy(factor);
    update();
}

void GraphCanvas::resetViewport()
{
    m_viewport = GraphViewport();
    centerOnSelection();
    update();
}

void GraphCanvas::centerOnSelection()
{
    const auto node = m_model.selectedNode();
    if (!node)
        return;
    const bool gliding = m_model.animatingCenterNodeID() == node->id;
    m_viewport.centreOn(gliding ? QPointF() : node->position);
    update();
}

void GraphCanvas::followSelection()
{
    const auto selected = m_model.selectedNodeID();
    if (selected == m_followedSelection)
        return;
    m_followedSelection = selected;
    centerOnSelection();
}

void GraphCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_renderer.paint(painter, size(), GraphScene::of(m_model), m_viewport);
}

void GraphCanvas::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_model.reload();
    m_model.startObservingStore();
    m_model.startLayoutTimer();
    setFocus(Qt::ActiveWindowFocusReason);
}

void GraphCanvas::hideEvent(QHideEvent* event)
{
    m_model.stop();
    QWidget::hideEvent(event);
}

void GraphCanvas::keyPressEvent(QKeyEvent* event)
{
    const auto close = [this] {
        if (m_onClose)
            m_onClose();
    };
    if (!GraphKeyMap::handle(m_model, event->key(), event->modifiers(), close))
        QWidget::keyPressEvent(event);
}

void GraphCanvas::syncOverlays()
{
    const auto& pendingItem = m_model.pendingDeleteItem();
    if (pendingItem && !m_deleteOverlay) {
        m_deleteOverlay = new DeleteConfirmationOverlay(
            QStringLiteral("Delete Link?"), pendingItem->title,
            QStringLiteral("This removes the link and all of its local relations."),
            [this] { m_model.confirmDelete(); }, [this] { m_model.cancelDelete(); }, m_appearance, this);
        m_deleteOverlay->show();
    } else if (!pendingItem && m_deleteOverlay) {
        m_deleteOverlay->deleteLater();
        m_deleteOverlay = nullptr;
    }

    const auto& pendingRelation = m_model.pendingRelationDelete();
    if (pendingRelation && !m_relationOverlay) {
        m_relationOverlay = new DeleteConfirmationOverlay(
            QStringLiteral("Remove Relation?"), pendingRelation->summary,
            QStringLiteral("The two links stay in your library; only the relation between them is removed."),
            [this] { m_model.confirmRelationDelete(); }, [this] { m_model.cancelRelationDelete(); },
            m_appearance, this);
        m_relationOverlay->show();
    } else if (!pendingRelation && m_relationOverlay) {
        m_relationOverlay->deleteLater();
        m_relationOverlay = nullptr;
    }
    // The relation card stands above the delete card when both wait.
    if (m_relationOverlay)
        m_relationOverlay->raise();
    if (!m_deleteOverlay && !m_relationOverlay)
        setFocus();
}

} // namespace morvane
