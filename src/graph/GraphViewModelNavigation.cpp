// Walking the graph's relations from the keyboard. A neighbour list is taken from the shown nodes and
// relation edges when its node becomes the focus and kept until the focus moves, so Left and Right
// cycle through the same list even while the layout moves the nodes.

#include "GraphViewModel.h"

#include <algorithm>
#include <cmath>

namespace morvane {

double GraphViewModel::keyboardAngle(QPointF centre, QPointF neighbour)
{
    return std::atan2(neighbour.x() - centre.x(), -(neighbour.y() - centre.y()));
}

std::optional<QUuid> GraphViewModel::keyboardAnchorNodeID() const
{
    if (m_navigation && hasNodeItem(m_navigation->focusNodeID))
        return m_navigation->focusNodeID;
    if (m_selectedNodeID && hasNodeItem(*m_selectedNodeID))
        return m_selectedNodeID;
    if (m_activeNodeID && hasNodeItem(*m_activeNodeID))
        return m_activeNodeID;
    if (!m_nodes.isEmpty())
        return m_nodes.first().id;
    return std::nullopt;
}

QSet<QUuid> GraphViewModel::relatedNodeIDs(const QUuid& id) const
{
    QSet<QUuid> related;
    for (const Edge& edge : m_edges) {
        if (!edge.kind.isRelation())
            continue;
        if (edge.from == id)
            related.insert(edge.to);
        else if (edge.to == id)
            related.insert(edge.from);
    }
    return related;
}

QList<QUuid> GraphViewModel::orderedNeighborIDs(const QUuid& id) const
{
    const std::optional<Node> centre = nodeWithID(id);
    if (!centre)
        return {};
    const QSet<QUuid> related = relatedNodeIDs(id);
    struct Neighbour {
        QUuid id;
        double angle;
    };
    std::vector<Neighbour> neighbours;
    for (const Node& node : m_nodes) {
        if (related.contains(node.id))
            neighbours.push_back({node.id, keyboardAngle(centre->position, node.position)});
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

std::optional<GraphViewModel::KeyboardRelationNavigation>
GraphViewModel::freshNavigation(const QUuid& anchor) const
{
    QList<QUuid> neighbours = orderedNeighborIDs(anchor);
    if (neighbours.isEmpty())
        return std::nullopt;
    return KeyboardRelationNavigation{anchor, {}, std::move(neighbours), 0};
}

// A stored navigation is used as it is, even when its focus has left the graph since.
std::optional<GraphViewModel::KeyboardRelationNavigation> GraphViewModel::currentNavigation() const
{
    const std::optional<QUuid> anchor = keyboardAnchorNodeID();
    if (!anchor)
        return std::nullopt;
    return m_navigation ? m_navigation : freshNavigation(*anchor);
}

// A fresh navigation starts at index 0 and the step applies at once: the first Right previews the
// second neighbour, the first Left the last.
void GraphViewModel::previewNeighbor(bool backward)
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

void GraphViewModel::followPreviewedRelation()
{
    const std::optional<KeyboardRelationNavigation> navigation = currentNavigation();
    if (!navigation || navigation->previewIndex < 0 ||
        navigation->previewIndex >= navigation->orderedNeighborIDs.size())
        return;
    const QUuid target = navigation->orderedNeighborIDs[navigation->previewIndex];
    moveFocus(navigation->focusNodeID, target, navigation->backStack + QList<QUuid>{navigation->focusNodeID});
}

void GraphViewModel::navigateBack()
{
    if (!m_navigation || m_navigation->backStack.isEmpty())
        return;
    QList<QUuid> rest = m_navigation->backStack;
    const QUuid previous = rest.takeLast();
    moveFocus(m_navigation->focusNodeID, previous, std::move(rest));
}

// A node that has left the graph has no neighbours: then nothing changes.
void GraphViewModel::moveFocus(const QUuid& from, const QUuid& to, QList<QUuid> backStack)
{
    QList<QUuid> neighbours = orderedNeighborIDs(to);
    if (neighbours.isEmpty())
        return;
    const int cameFrom = int(std::max<qsizetype>(neighbours.indexOf(from), 0));
    setNavigation(KeyboardRelationNavigation{to, std::move(backStack), std::move(neighbours), cameFrom});
    centerOnNode(to, true);
}

std::optional<QUuid> GraphViewModel::previewedNeighborID() const
{
    if (!m_navigation || m_navigation->previewIndex < 0 ||
        m_navigation->previewIndex >= m_navigation->orderedNeighborIDs.size())
        return std::nullopt;
    return m_navigation->orderedNeighborIDs[m_navigation->previewIndex];
}

std::optional<GraphViewModel::Edge> GraphViewModel::relationEdge(const QUuid& a, const QUuid& b) const
{
    const auto found = std::find_if(m_edges.begin(), m_edges.end(), [&](const Edge& edge) {
        return edge.kind.isRelation() && edge.joins(a, b);
    });
    return found == m_edges.end() ? std::nullopt : std::optional<Edge>(*found);
}

std::optional<GraphViewModel::Edge> GraphViewModel::keyboardPreviewEdge() const
{
    const std::optional<QUuid> previewed = previewedNeighborID();
    if (!previewed)
        return std::nullopt;
    return relationEdge(m_navigation->focusNodeID, *previewed);
}

} // namespace morvane
