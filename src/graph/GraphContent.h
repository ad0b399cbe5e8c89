#pragma once

#include "GraphDerivation.h"
#include "GraphElements.h"
#include "GraphLibrary.h"
#include "GraphPlacements.h"
#include "model/LinkItem.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>

namespace morvane {

class GraphFilters;
class GraphSelection;
class GraphWorkPool;

// The library as last loaded, the visible graph derived from it under the scope and filters, and the
// status line the window shows under the scope's title. The visible graph is derived again on every
// change of the scope or a filter. Where its nodes are is the layout's (GraphPlacements), which takes
// up each new set of shown nodes before anything else hears of it. Main thread only.
class GraphContent : public QObject {
    Q_OBJECT
public:
    // One suggested partner of a node and why it is suggested.
    struct SuggestedRelation {
        LinkItem item;
        QString reason;
        bool operator==(const SuggestedRelation&) const = default;
    };

    // A visible graph worked out away from this thread, with the places of its nodes worked out from
    // the layout's as they were when the work began.
    struct Derived {
        GraphDerivation::Result result;
        GraphPlacements::Arrangement arranged;
    };

    // Libraries of this many links have their visible graph worked out away from this thread.
    static constexpr qsizetype derivedAwayItems = 5000;

    // The filters, the selection and the pool outlive the content; the neighbourhood scope is centred
    // on the active or selected node. A large graph is worked out, and what a load replaces freed, on
    // the pool.
    GraphContent(const GraphFilters& filters, const GraphSelection& selection, GraphWorkPool& pool,
                 QObject* parent = nullptr);
    ~GraphContent() override;

    // --- What the views draw (each change is announced by the signal of the same name) ----------
    const QList<GraphNode>& nodes() const { return m_nodes; }
    // Counts every change to the nodes, in place or not: a view remembers this rather than a copy of
    // the nodes it drew.
    quint64 nodesRevision() const { return m_nodesRevision; }
    const QList<GraphEdge>& edges() const { return m_edges; }
    const QString& message() const { return m_message; }
    void setMessage(const QString& message);
    // How many links and relations are shown, of how many.
    QString statusText() const;

    // --- The library as last loaded -------------------------------------------------------------
    const GraphLibrary& library() const { return m_library; }
    // The link behind a shown node; null when the id has no node.
    const LinkItem* nodeItem(const QUuid& id) const;
    bool hasNodeItem(const QUuid& id) const { return m_nodeIndex.contains(id); }
    // Each shown node's place in nodes(), replaced with them (a large graph's is built away from
    // this thread): the view looks edge ends up in it.
    const QHash<QUuid, qsizetype>& nodeIndex() const { return m_nodeIndex; }
    // The first loaded link with the id, shown or not.
    const LinkItem* anyItem(const QUuid& id) const;
    std::optional<GraphNode> node(const std::optional<QUuid>& id) const;

    // What the filter menus offer: what the library holds, in the user's order.
    QList<LinkType> availableLinkTypes() const;
    QStringList availableSourceApps() const;
    QStringList availableTags() const;

    // The node's suggested partners among all loaded links (shown or not), by title.
    QList<SuggestedRelation> suggestedRelations(const QUuid& nodeID) const;
    // The shown items the node is related to, by title.
    QList<LinkItem> relatedItems(const QUuid& nodeID) const;
    // The shown nodes joined to the node by a relation edge.
    QSet<QUuid> relatedNodeIDs(const QUuid& id) const;
    // The first shown relation edge joining the two nodes, in either direction.
    std::optional<GraphEdge> relationEdge(const QUuid& a, const QUuid& b) const;

    // --- Deriving the visible graph -------------------------------------------------------------
    // Nodes of the loaded links that pass the filters and the scope, in load order.
    void rebuild();
    // Rebuilds so far: a graph worked out away from this thread is shown only if none came between.
    quint64 rebuildCount() const { return m_rebuilds; }
    // Works out on the pool the visible graph of a library about to be applied, and where its nodes
    // start from the places of the nodes shown now.
    QFuture<std::shared_ptr<Derived>> deriveAway(const GraphLibrary& library,
                                                 GraphPlacements::Memory places) const;
    // Takes in a loaded library and shows its graph: the one given, worked out away from this
    // thread, or else one worked out here.
    void apply(GraphLibrary library, std::optional<Derived> derived = std::nullopt);

    // --- Changes in place -----------------------------------------------------------------------
    // Draws a new relation between two shown nodes in place, without a load. False when either is not
    // shown or they are related already.
    bool addRelationEdge(const QUuid& a, const QUuid& b);

signals:
    // The shown nodes were replaced: the layout places them (with `arranged` when they came with
    // places worked out for them, which it takes). Announced before nodesChanged().
    void nodesReplaced(GraphPlacements::Arrangement* arranged);
    void nodesChanged();
    void edgesChanged();
    void messageChanged();
    // The visible graph was derived again from a library that holds links: marks on nodes it no
    // longer shows are stale. Announced before the status line is set.
    void rederived();

private:
    // What the visible graph follows from, as it is now.
    GraphDerivation derivation() const;
    void show(GraphDerivation::Result derived, GraphPlacements::Arrangement* arranged = nullptr);
    void refreshNodeDegree(const QUuid& id);
    void nodesUpdated();
    // Freeing a large library or graph means freeing every one of its strings: that is left to the
    // pool, away from the window's thread.
    template <class... T> void discard(T... values);

    const GraphFilters& m_filters;
    const GraphSelection& m_selection;
    GraphWorkPool& m_pool;

    QList<GraphNode> m_nodes;
    QList<GraphEdge> m_edges;
    QString m_message = QStringLiteral("Loading graph...");
    GraphLibrary m_library;
    QHash<QUuid, qsizetype> m_nodeIndex; // shown node -> its place in m_nodes
    QList<qsizetype> m_nodeItems;        // each shown node's link's position in the library's items
    quint64 m_rebuilds = 0;
    quint64 m_nodesRevision = 1;
};

} // namespace morvane
