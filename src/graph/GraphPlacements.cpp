#include "GraphPlacements.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace morvane {

GraphPlacements::Arrangement GraphPlacements::arrange(Memory memory, const QList<GraphNode>& nodes,
                                                      const QHash<QUuid, qsizetype>& index)
{
    Arrangement arranged{index, {}, {}, memory.remembered, {}};
    // Read only: a write would copy the places the layout goes on moving.
    const QList<GraphPlacement>& shownPlaces = memory.shown;
    // Only nodes that leave are remembered: a node still shown is looked up among the shown first.
    for (auto shown = memory.shownIndex.cbegin(); shown != memory.shownIndex.cend(); ++shown) {
        if (!index.contains(shown.key()))
            arranged.remembered.insert(shown.key(), shownPlaces[shown.value()]);
    }
    const qsizetype n = std::max<qsizetype>(nodes.size(), 1);
    const double radius = std::min(circleBaseRadius + circleRadiusPerNode * double(n), circleLargestRadius);
    arranged.cameFrom.resize(size_t(nodes.size()), -1);
    arranged.places.reserve(nodes.size());
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QUuid& id = nodes[i].id;
        if (const auto shown = memory.shownIndex.constFind(id); shown != memory.shownIndex.cend()) {
            arranged.cameFrom[size_t(i)] = *shown;
            arranged.places.append(shownPlaces[*shown]);
        } else if (const auto kept = arranged.remembered.constFind(id); kept != arranged.remembered.cend()) {
            arranged.places.append(*kept);
        } else {
            const double angle = 2 * std::numbers::pi * double(i) / double(n);
            arranged.places.append({{radius * std::cos(angle), radius * std::sin(angle)}, {}});
        }
    }
    arranged.source = std::move(memory);
    return arranged;
}

GraphPlacements::Memory GraphPlacements::memory() const
{
    return {m_index, m_places, m_remembered, m_revision};
}

std::optional<QPointF> GraphPlacements::positionOf(const QUuid& id) const
{
    const auto found = m_index.constFind(id);
    return found == m_index.cend() ? std::nullopt : std::optional<QPointF>(m_places[*found].position);
}

void GraphPlacements::follow(const QList<GraphNode>& nodes, const QHash<QUuid, qsizetype>& index,
                             Arrangement* arranged)
{
    if (arranged && arranged->index.isSharedWith(index) &&
        arranged->source.shownIndex.isSharedWith(m_index)) {
        adopt(std::move(*arranged));
        return;
    }
    // Worked out here, the memory is handed over whole rather than shared, so remembering the nodes
    // that leave copies nothing.
    adopt(arrange({m_index, m_places, std::exchange(m_remembered, {}), m_revision}, nodes, index));
}

void GraphPlacements::adopt(Arrangement arranged)
{
    if (arranged.source.revision != m_revision) {
        for (size_t i = 0; i < arranged.cameFrom.size(); ++i) {
            if (const qsizetype from = arranged.cameFrom[i]; from >= 0)
                arranged.places[qsizetype(i)] = m_places.at(from);
        }
    }
    m_places = std::move(arranged.places);
    m_index = std::move(arranged.index);
    m_remembered = std::move(arranged.remembered);
    ++m_revision;
}

QList<GraphPlacement>& GraphPlacements::moving()
{
    ++m_revision;
    return m_places;
}

bool GraphPlacements::place(const QUuid& id, QPointF at)
{
    const auto found = m_index.constFind(id);
    if (found == m_index.cend())
        return false;
    m_places[*found] = {at, {}};
    ++m_revision;
    return true;
}

void GraphPlacements::stop(const QList<QUuid>& ids)
{
    for (const QUuid& id : ids) {
        if (const auto found = m_index.constFind(id); found != m_index.cend())
            m_places[*found].velocity = {};
    }
    ++m_revision;
}

} // namespace morvane
