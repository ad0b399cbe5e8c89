// Walking the graph's relations from the keyboard. A neighbour list is taken from the shown nodes and
// relation edges when its node becomes the focus and kept until the focus moves, so Left and Right
// cycle through the same list even while the layout moves the nodes.

#include "GraphNavigation.h"

#include "GraphContent.h"
#include "GraphLayoutDriver.h"
#include "GraphSelection.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace morvane {

namespace {

// The direction of a neighbour seen from the centre, atan2(dx, -dy) between -pi and pi: 0 straight up
// on screen (y points down), growing clockwise.
double keyboardAngle(QPointF centre, QPointF neighbour)
{
    return std::atan2(neighbour.x() - centre.x(), -(neighbour.y() - centre.y()));
}

} // namespace

GraphNavigation::GraphNavigation(const GraphContent& content, GraphSelection& selection,
                                 GraphLayoutDriver& layout, QObject* parent)
    : QObject(parent)
    , m_content(content)
    , m_selection(selection)
    , m_layout(layout)
{
}

void GraphNavigation::centerOnNode(const QUuid& id, bool animated)
{
    m_selection.setSelectedNodeID(id);
    m_selection.setCenteredNodeID(id);
    m_layout.glideToOrigin(id, animated);
}

void GraphNavigation::endKeyboardNavigation()
{
    setNavigation(std::nullopt);
}

std::optional<QUuid> GraphNavigation::keyboardAnchorNodeID() const
{
    if (m_navigation && m_content.hasNodeItem(m_navigation->focusNodeID))
        return m_navigation->focusNodeID;
    for (const std::optional<QUuid>& id : {m_selection.selectedNodeID(), m_selection.activeNodeID()}) {
        if (id && m_content.hasNodeItem(*id))
            return id;
    }
    if (!m_content.nodes().isEmpty())
        return m_content.nodes().first().id;
    return std::nullopt;
}

QList<QUuid> GraphNavigation::orderedNeighborIDs(const QUuid& id) const
{
    const GraphPlacements& places = m_layout.placements();
    const std::optional<QPointF> centre = places.positionOf(id);
    if (!centre)
        return {};
    const QSet<QUuid> related = m_content.relatedNodeIDs(id);
    struct Neighbour {
        QUuid id;
        double angle;
    };
    std::vector<Neighbour> neighbours;
    const QList<GraphNode>& nodes = m_content.nodes();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        if (related.contains(nodes[i].id))
            neighbours.push_back({nodes[i].id, keyboardAngle(*centre, places.position(i))});
    }
    // Stable: neighbours in the same direction keep the order of the nodes.
    std::stable_sort(neighbours.begin(), neighbours.end(),
                     [](const Neighbour& a, const Neighbour& b) { return a.angle < b.angle; });
    QList<QUuid> ids;
    ids.reserve(qsizetype(neighbours.size()));
    for (const Neighbour& neighbour : neighbours)
        ids.append(neighbour.id);
    return ids;
}

std::optional<GraphNavigation::KeyboardRelationNavigation>
GraphNavigation::freshNavigation(const QUuid& anchor) const
{
    QList<QUuid> neighbours = orderedNeighborIDs(anchor);
    if (neighbours.isEmpty())
        return std::nullopt;
    return KeyboardRelationNavigation{anchor, {}, std::move(neighbours), 0};
}

// A stored navigation is used as it is, even when its focus has left the graph since.
std::optional<GraphNavigation::KeyboardRelationNavigation> GraphNavigation::currentNavigation() const
{
    const std::optional<QUuid> anchor = keyboardAnchorNodeID();
    if (!anchor)
        return std::nullopt;
    return m_navigation ? m_navigation : freshNavigation(*anchor);
}

// A fresh navigation starts at index 0 and the step applies at once: the first Right previews the
// second neighbour, the first Left the last.
void GraphNavigation::previewNeighbor(bool backward)
{
    std::optional<KeyboardRelationNavigation> navigation = currentNavigation();
    if (!navigation || navigation->orderedNeighborIDs.isEmpty())
        return;
    const int count = int(navigation->orderedNeighborIDs.size());
    const int step = backward ? -1 : 1;
    navigation->previewIndex = ((navigation->previewIndex + step) % count + count) % count;
    const QUuid focus = navigation->focusNodeID;
    setNavigation(std::move(navigation));
    centerOnNode(focus, true);
}

void GraphNavigation::followPreviewedRelation()
{
    const std::optional<KeyboardRelationNavigation> navigation = currentNavigation();
    if (!navigation || navigation->previewIndex < 0 ||
        navigation->previewIndex >= navigation->orderedNeighborIDs.size())
        return;
    const QUuid target = navigation->orderedNeighborIDs[navigation->previewIndex];
    moveFocus(navigation->focusNodeID, target, navigation->backStack + QList<QUuid>{navigation->focusNodeID});
}

void GraphNavigation::navigateBack()
{
    if (!m_navigation || m_navigation->backStack.isEmpty())
        return;
    QList<QUuid> rest = m_navigation->backStack;
    const QUuid previous = rest.takeLast();
    moveFocus(m_navigation->focusNodeID, previous, std::move(rest));
}

// A node that has left the graph has no neighbours: then nothing changes.
void GraphNavigation::moveFocus(const QUuid& from, const QUuid& to, QList<QUuid> backStack)
{
    QList<QUuid> neighbours = orderedNeighborIDs(to);
    if (neighbours.isEmpty())
        return;
    const int cameFrom = int(std::max<qsizetype>(neighbours.indexOf(from), 0));
    setNavigation(KeyboardRelationNavigation{to, std::move(backStack), std::move(neighbours), cameFrom});
    centerOnNode(to, true);
}

std::optional<QUuid> GraphNavigation::previewedNeighborID() const
{
    if (!m_navigation || m_navigation->previewIndex < 0 ||
        m_navigation->previewIndex >= m_navigation->orderedNeighborIDs.size())
        return std::nullopt;
    return m_navigation->orderedNeighborIDs[m_navigation->previewIndex];
}

std::optional<GraphEdge> GraphNavigation::keyboardPreviewEdge() const
{
    const std::optional<QUuid> previewed = previewedNeighborID();
    if (!previewed)
        return std::nullopt;
    return m_content.relationEdge(m_navigation->focusNodeID, *previewed);
}

void GraphNavigation::setNavigation(std::optional<KeyboardRelationNavigation> navigation)
{
    m_navigation = std::move(navigation);
    emit keyboardRelationNavigationChanged();
}

} // namespace morvane
