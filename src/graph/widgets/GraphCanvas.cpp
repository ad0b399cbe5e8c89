#include "GraphCanvas.h"

#include "GraphMenuBuilder.h"
#include "GraphScene.h"
#include "NodeCardStyle.h"
#include "desktop/DeleteConfirmationOverlay.h"
#include "graph/GraphKeyMap.h"
#include "graph/GraphNodeMenu.h"
#include "graph/GraphViewModel.h"

#include <QKeyEvent>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvane {

namespace {

// The layout keeps creeping long after the graph looks still: moves shorter than this, in pixels, are
// not drawn until they add up.
constexpr double visibleMove = 0.5;

// No part of a card lies farther than this from its disc centre, in card units.
constexpr double cardReach = 80;

// Room kept around the graph when it is fitted in view, in pixels: half a card's title.
constexpr double fitMargin = 70;

QString healthToolTip(NodeHealth health)
{
    switch (health) {
    case NodeHealth::connected:
        return QStringLiteral("Connected link");
    case NodeHealth::weak:
        return QStringLiteral("Weak link: one relation");
    case NodeHealth::orphan:
        return QStringLiteral("Orphan: no relations");
    }
    return {};
}

} // namespace

GraphCanvas::GraphCanvas(GraphViewModel& model, const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_appearance(appearance)
    , m_renderer(appearance, &model.workPool())
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto repaint = [this] { update(); };
    const GraphContent& content = m_model.content();
    const GraphSelection& selection = m_model.selection();
    const auto moved = [this] {
        if (nodesMovedVisibly())
            update();
    };
    connect(&content, &GraphContent::nodesChanged, this, moved);
    connect(&m_model.layout(), &GraphLayoutDriver::nodesMoved, this, moved);
    connect(&content, &GraphContent::edgesChanged, this, repaint);
    for (const auto signal : {&GraphSelection::activeNodeIDChanged, &GraphSelection::centeredNodeIDChanged,
                              &GraphSelection::linkingSourceNodeIDChanged})
        connect(&selection, signal, this, repaint);
    connect(&m_model.filters(), &GraphFilters::scopeChanged, this, repaint);
    connect(&m_model.navigation(), &GraphNavigation::keyboardRelationNavigationChanged, this, repaint);
    // Queued: centring selects the node before it tells the layout to glide it, and the view must see
    // both to know where the node is going.
    connect(&selection, &GraphSelection::selectedNodeIDChanged, this, &GraphCanvas::followSelection,
            Qt::QueuedConnection);
    connect(&selection, &GraphSelection::selectedNodeIDChanged, this, repaint);
    connect(&m_model.commands(), &GraphCommands::pendingDeleteItemChanged, this, &GraphCanvas::syncOverlays);
    connect(&m_model.commands(), &GraphCommands::pendingRelationDeleteChanged, this,
            &GraphCanvas::syncOverlays);
    // The last small moves were not drawn as they happened. The layout may rest before the library
    // opened with the window is shown (a large one takes a while to load, and nothing moves until
    // then): the fit waits for a rest of the loaded graph.
    connect(&m_model.layout(), &GraphLayoutDriver::layoutSettled, this, [this] {
        if (m_fitOnSettle && !m_model.loader().isLoading() && !m_model.content().nodes().isEmpty()) {
            m_fitOnSettle = false;
            fitGraph();
        }
        update();
    });
}

// A layout step that moved no card by a visible amount leaves the frame as it is, so a graph at rest
// costs no drawing.
bool GraphCanvas::nodesMovedVisibly() const
{
    const GraphContent& content = m_model.content();
    const GraphPlacements& places = m_model.layout().placements();
    const auto& nodes = content.nodes();
    if (content.nodesRevision() == m_paintedRevision && places.revision() == m_paintedPlacesRevision)
        return false;
    // A graph rebuilt comes with an index of its own; the same index means the same nodes in the same
    // order, with the same titles and kinds.
    if (size_t(nodes.size()) != m_paintedNodes.size() || !content.nodeIndex().isSharedWith(m_paintedIndex))
        return true;
    const double least = visibleMove / m_viewport.scale;
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const GraphNode& now = nodes[i];
        const PaintedNode& drawn = m_paintedNodes[size_t(i)];
        if (now.degree != drawn.degree || now.health != drawn.health)
            return true;
        const QPointF moved = places.position(i) - drawn.position;
        if (std::abs(moved.x()) >= least || std::abs(moved.y()) >= least)
            return true;
    }
    return false;
}

void GraphCanvas::zoomBy(double factor)
{
    m_viewport.zoomBy(factor);
    userZoomed();
}

void GraphCanvas::resetViewport()
{
    m_viewport = GraphViewport();
    centerOnSelection();
    userZoomed();
}

// A zoom the user chose is theirs: the view no longer fits the graph for them.
void GraphCanvas::userZoomed()
{
    m_userZoomed = true;
    m_fitOnSettle = false;
    zoomChanged();
    m_model.layout().wake();
}

void GraphCanvas::zoomChanged()
{
    m_model.layout().setVisibleMotion(visibleMove / m_viewport.scale);
    update();
}

// The whole graph in view, cards included, at no more than natural size.
void GraphCanvas::fitGraph()
{
    const auto& places = m_model.layout().placements().all();
    if (places.isEmpty())
        return;
    QRectF bounds;
    for (const GraphPlacement& place : places)
        bounds |= QRectF(place.position, QSizeF(1e-3, 1e-3));
    m_viewport = GraphViewport::fitting(bounds, size(), fitMargin);
    zoomChanged();
}

void GraphCanvas::centerOnSelection()
{
    const auto selected = m_model.selection().selectedNodeID();
    const auto position = selected ? m_model.layout().placements().positionOf(*selected) : std::nullopt;
    if (!position)
        return;
    const bool gliding = m_model.layout().animatingCenterNodeID() == selected;
    m_viewport.centreOn(gliding ? QPointF() : *position);
    update();
}

void GraphCanvas::followSelection()
{
    const auto selected = m_model.selection().selectedNodeID();
    if (selected == m_followedSelection)
        return;
    m_followedSelection = selected;
    centerOnSelection();
}

std::optional<QUuid> GraphCanvas::nodeAt(QPointF point) const
{
    const GraphScene scene = GraphScene::of(m_model);
    const double cardScale = m_viewport.cardScale();
    // Later cards lie above earlier ones.
    for (qsizetype i = scene.nodes.size() - 1; i >= 0; --i) {
        const GraphNode& node = scene.nodes[i];
        const QPointF centre = m_viewport.toScreen(scene.position(i), size());
        // Measuring a title is costly, and nearly every card of a large graph is far away.
        const QPointF offset = point - centre;
        if (std::abs(offset.x()) > cardReach * cardScale || std::abs(offset.y()) > cardReach * cardScale)
            continue;
        const NodeCardFlags flags = scene.flags(node);
        // What is drawn is what is hit: far out, a plain node is its disc alone.
        const QRectF area =
            nodeCardHitArea(NodeCardStyle::of(node, flags),
                            GraphRenderer::drawsTitle(m_viewport, flags) ? node.title : QString());
        const QRectF onScreen(centre + area.topLeft() * cardScale, area.size() * cardScale);
        if (onScreen.contains(point))
            return node.id;
    }
    return std::nullopt;
}

bool GraphCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        showNodeToolTip(static_cast<const QHelpEvent&>(*event));
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        const auto& gesture = static_cast<const QNativeGestureEvent&>(*event);
        if (gesture.gestureType() == Qt::ZoomNativeGesture) {
            // Each event carries the change since the one before.
            m_pinch *= 1 + gesture.value();
            m_pointer.magnify(m_pinch);
            userZoomed();
        } else if (gesture.gestureType() == Qt::EndNativeGesture) {
            m_pinch = 1;
            m_pointer.endMagnification();
        }
        return true;
    }
    return QWidget::event(event);
}

void GraphCanvas::showNodeToolTip(const QHelpEvent& event)
{
    const auto id = nodeAt(event.pos());
    const auto node = std::find_if(m_model.content().nodes().cbegin(), m_model.content().nodes().cend(),
                                   [&](const GraphNode& each) { return each.id == id; });
    if (!id || node == m_model.content().nodes().cend())
        return QToolTip::hideText();
    QToolTip::showText(event.globalPos(), healthToolTip(node->health), this);
}

void GraphCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pointer.press(event->position(), nodeAt(event->position()));
}

void GraphCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    m_pointer.doubleClick(event->position(), nodeAt(event->position()));
}

void GraphCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && m_pointer.move(event->position()))
        update();
}

void GraphCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_pointer.release();
}

void GraphCanvas::wheelEvent(QWheelEvent* event)
{
    // Where no pinch arrives (X11 without a touchpad driver), Ctrl with the wheel zooms the same way:
    // about the drawn layout origin, within the same limits. One notch is one zoom-in step.
    const int delta = event->angleDelta().y();
    if (!(event->modifiers() & Qt::ControlModifier) || delta == 0)
        return QWidget::wheelEvent(event);
    zoomBy(std::pow(GraphViewport::zoomInStep, delta / 120.0));
}

void GraphCanvas::contextMenuEvent(QContextMenuEvent* event)
{
    const auto node = nodeAt(event->pos());
    if (!node)
        return;
    // Made for this click, from the state now, and gone when it closes.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillGraphMenu(*menu, graphNodeMenu(m_model, *node), m_appearance);
    menu->popup(event->globalPos());
}

void GraphCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const GraphContent& content = m_model.content();
    const GraphPlacements& places = m_model.layout().placements();
    m_paintedNodes.resize(size_t(content.nodes().size()));
    for (qsizetype i = 0; i < content.nodes().size(); ++i) {
        const GraphNode& node = content.nodes()[i];
        m_paintedNodes[size_t(i)] = {places.position(i), node.degree, node.health};
    }
    m_paintedRevision = content.nodesRevision();
    m_paintedPlacesRevision = places.revision();
    m_paintedIndex = content.nodeIndex();
    m_renderer.paint(painter, size(), GraphScene::of(m_model), m_viewport);
}

void GraphCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_model.layout().wake();
}

void GraphCanvas::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_fitOnSettle = !m_userZoomed;
    m_model.start();
    setFocus(Qt::ActiveWindowFocusReason);
}

void GraphCanvas::hideEvent(QHideEvent* event)
{
    m_model.stop();
    QWidget::hideEvent(event);
}

void GraphCanvas::keyPressEvent(QKeyEvent* event)
{
    const auto close = [this] { emit closeRequested(); };
    if (!GraphKeyMap::handle(m_model, event->key(), event->modifiers(), close))
        QWidget::keyPressEvent(event);
}

// The cards cover the whole window, toolbar included: nothing else can be chosen while one waits.
void GraphCanvas::syncOverlays()
{
    const GraphCommands& commands = m_model.commands();
    const auto& pendingItem = commands.pendingDeleteItem();
    DeleteConfirmationOverlay::keepInStep(m_deleteOverlay, pendingItem.has_value(), [&] {
        return DeleteConfirmationOverlay::forLink(
            pendingItem->title, [this] { m_model.commands().confirmDelete(); },
            [this] { m_model.commands().cancelDelete(); }, m_appearance, window());
    });
    const auto& pendingRelation = commands.pendingRelationDelete();
    DeleteConfirmationOverlay::keepInStep(m_relationOverlay, pendingRelation.has_value(), [&] {
        return DeleteConfirmationOverlay::forRelation(
            pendingRelation->summary, [this] { m_model.commands().confirmRelationDelete(); },
            [this] { m_model.commands().cancelRelationDelete(); }, m_appearance, window());
    });
    // The relation card stands above the delete card when both wait.
    if (m_relationOverlay)
        m_relationOverlay->raise();
    if (!m_deleteOverlay && !m_relationOverlay)
        setFocus();
}

} // namespace morvane
