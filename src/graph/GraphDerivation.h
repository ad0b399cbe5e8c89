#pragma once

#include "GraphElements.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <set>
#include <vector>

namespace morvane {

// The visible graph as it follows from the library as loaded, the filters and the scope, and the centre
// of the neighbourhood: plain values (their copies share the data), so that a
// large library's graph can be worked out away from the window's thread.
struct GraphDerivation {
    QList<LinkItem> items;
    QList<LinkRelation> relations;
    QHash<QUuid, int> degreeByID;
    QList<GraphEdge> suggestedEdges;
    GraphScope scope = GraphScope::all;
    std::set<LinkType> typeFilters;
    QSet<QString> appFilters;
    QSet<QString> tagFilters;
    std::optional<QUuid> activeNodeID;
    std::optional<QUuid> selectedNodeID;

    struct Result {
        QHash<QUuid, qsizetype> nodeIndex; // shown node -> its place in nodes
        QList<qsizetype> nodeItems;        // each node's link's position in items, in node order
        QList<GraphNode> nodes;
        QList<GraphEdge> edges;
    };

    // Nodes of the links that pass the filters and the scope, in load order; edges whose ends are both
    // shown, relations first.
    Result derive() const;

    // Every non-empty filter admits the link: one of the chosen types, one of the chosen
    // applications, and a tag among the chosen tags.
    static bool matches(const LinkItem& item, const std::set<LinkType>& types, const QSet<QString>& apps,
                        const QSet<QString>& tags);

private:
    std::vector<qsizetype> filteredItems() const;
    std::vector<qsizetype> applyScope(std::vector<qsizetype> kept) const;
    QList<GraphNode> shownNodes(const std::vector<qsizetype>& visible) const;
    QList<GraphEdge> visibleEdges(const QHash<QUuid, qsizetype>& shown) const;
};

} // namespace morvane
