#pragma once

#include "model/LinkType.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace morvane {

// How well a link is tied into the library, by its number of relations.
enum class NodeHealth { connected, weak, orphan };

// 0 relations: orphan, 1: weak, 2 or more: connected.
NodeHealth healthForDegree(int degree);

// One visible link of the graph: what the graph shows of it. Where it is, the layout keeps (see
// GraphPlacements).
struct GraphNode {
    QUuid id;
    QString title;
    LinkType type = LinkType::web;
    int degree = 0;
    NodeHealth health = NodeHealth::orphan;

    bool operator==(const GraphNode&) const = default;
};

// A stored relation, or a suggested one with the reason it was suggested.
class GraphEdgeKind {
public:
    static GraphEdgeKind relation() { return GraphEdgeKind(); }
    static GraphEdgeKind suggestion(QString reason) { return GraphEdgeKind(std::move(reason)); }

    bool isRelation() const { return !m_reason; }
    bool isSuggestion() const { return m_reason.has_value(); }
    // The reason text of a suggestion; empty for a relation.
    QString reason() const { return m_reason.value_or(QString()); }

    bool operator==(const GraphEdgeKind&) const = default;

private:
    GraphEdgeKind() = default;
    explicit GraphEdgeKind(QString reason)
        : m_reason(std::move(reason))
    {
    }
    std::optional<QString> m_reason;
};

// A relation edge carries its relation's id, a suggestion edge an id made from its ends and reason.
// Wherever the graph looks for an edge between two nodes, either direction counts.
struct GraphEdge {
    QUuid id;
    QUuid from;
    QUuid to;
    GraphEdgeKind kind = GraphEdgeKind::relation();

    bool joins(const QUuid& a, const QUuid& b) const
    {
        return (from == a && to == b) || (from == b && to == a);
    }
    bool operator==(const GraphEdge&) const = default;
};

// Which part of the library the graph shows. The raw value is what settings and menus store.
enum class GraphScope { all, currentNeighborhood, orphans, weakLinks, suggestions };

QString rawValue(GraphScope scope);
// Exactly the five raw values, in their letter case; anything else is no scope.
std::optional<GraphScope> graphScopeFromRawValue(const QString& raw);
const QList<GraphScope>& allGraphScopes();

} // namespace morvane
