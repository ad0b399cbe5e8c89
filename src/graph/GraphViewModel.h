#pragma once

#include "GraphElements.h"
#include "GraphLibrary.h"
#include "foundation/Clock.h"
#include "model/CapturedContext.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace morvane {

class LinkStore;

// The model behind the Graph window: the library as last loaded, the visible graph derived from it
// under a scope and filters, node positions evolving under the force layout, and the selection and
// status the views draw. Main thread only. It is live while its view is shown: the view's appear
// handler calls reload(), startObservingStore() and startLayoutTimer(), its disappear handler stop().
class GraphViewModel : public QObject {
    Q_OBJECT
public:
    using Node = GraphNode;
    using Edge = GraphEdge;
    using EdgeKind = GraphEdgeKind;
    using NodeHealth = morvane::NodeHealth;
    using GraphScope = morvane::GraphScope;

    struct PendingRelationDelete {
        QUuid sourceID;
        QUuid targetID;
        QString summary; // the two titles joined by " ↔ "
        bool operator==(const PendingRelationDelete&) const = default;
    };

    struct KeyboardRelationNavigation {
        QUuid focusNodeID;
        QList<QUuid> backStack;
        QList<QUuid> orderedNeighborIDs;
        int previewIndex = 0;
        bool operator==(const KeyboardRelationNavigation&) const = default;
    };

    // Where a node was, kept so that a rebuild puts known nodes back in place.
    struct Placement {
        QPointF position;
        QPointF velocity;
        bool operator==(const Placement&) const = default;
    };

    // Reads the library and derives degrees and suggestions, off the main thread.
    using LibraryLoader = std::function<QFuture<GraphLibrary>()>;

    // The layout ticks thirty times a second.
    static constexpr std::chrono::milliseconds layoutInterval{1000 / 30};
    // Layout steps between two looks at what the user has in front of them.
    static constexpr int activeContextRefreshSteps = 30;

    GraphViewModel(LinkStore& store, std::shared_ptr<Clock> clock, QObject* parent = nullptr);
    GraphViewModel(LinkStore& store, std::shared_ptr<Clock> clock, LibraryLoader loader,
                   QObject* parent = nullptr);
    ~GraphViewModel() override;

    // --- What the views draw (each change is announced by the signal of the same name) ----------
    const QList<Node>& nodes() const { return m_nodes; }
    const QList<Edge>& edges() const { return m_edges; }
    std::optional<QUuid> selectedNodeID() const { return m_selectedNodeID; }
    std::optional<QUuid> activeNodeID() const { return m_activeNodeID; }
    std::optional<QUuid> centeredNodeID() const { return m_centeredNodeID; }
    std::optional<QUuid> linkingSourceNodeID() const { return m_linkingSourceNodeID; }
    const QString& message() const { return m_message; }
    const std::optional<LinkItem>& pendingDeleteItem() const { return m_pendingDeleteItem; }
    const std::optional<PendingRelationDelete>& pendingRelationDelete() const
    {
        return m_pendingRelationDelete;
    }
    GraphScope scope() const { return m_scope; }
    const std::set<LinkType>& typeFilters() const { return m_typeFilters; }
    const QSet<QString>& appFilters() const { return m_appFilters; }
    const QSet<QString>& tagFilters() const { return m_tagFilters; }

    // Each setter rebuilds the visible graph, also when the value is unchanged.
    void setScope(GraphScope scope);
    void setTypeFilters(std::set<LinkType> types);
    void setAppFilters(QSet<QString> apps);
    void setTagFilters(QSet<QString> tags);

    // --- The library as last loaded -------------------------------------------------------------
    // The link behind a shown node; null when the id has no node.
    const LinkItem* nodeItem(const QUuid& id) const;
    bool hasNodeItem(const QUuid& id) const { return m_nodeItems.contains(id); }
    const QList<LinkItem>& allItems() const { return m_allItems; }
    const QList<LinkRelation>& allRelations() const { return m_allRelations; }
    const QHash<QUuid, int>& allDegreeByID() const { return m_allDegreeByID; }
    const QList<Edge>& suggestedEdges() const { return m_suggestedEdges; }
    const QHash<QUuid, Placement>& preservedLayout() const { return m_preservedLayout; }
    const QSet<QUuid>& userPositionedNodeIDs() const { return m_userPositionedNodeIDs; }
    const std::optional<KeyboardRelationNavigation>& keyboardRelationNavigation() const
    {
        return m_navigation;
    }

    // --- Lifecycle ------------------------------------------------------------------------------
    // Remembers where every shown node is, then loads the library off the main thread. Loads may
    // overlap: the one started last wins, and one that finishes after a newer load is dropped. At
    // the end, message becomes the given text or else the status line.
    void reload(std::optional<QString> message = std::nullopt);
    // Reloads after every library change, except while the model writes relations itself.
    void startObservingStore();
    void startLayoutTimer();
    void stop();
    bool isObservingStore() const { return bool(m_storeObserver); }
    bool isLayoutTimerRunning() const { return m_layoutTimer && m_layoutTimer->isActive(); }

    // --- The visible graph ----------------------------------------------------------------------
    // Nodes of the loaded links that pass the filters and the scope, in load order. A node keeps the
    // place it has; one that is not shown takes its remembered place, and a new one a place on a
    // circle around the origin.
    void rebuild();
    // Every non-empty filter admits the link: one of the chosen types, one of the chosen
    // applications, and a tag among the chosen tags.
    bool matchesFilters(const LinkItem& item) const;
    QString statusText(qsizetype itemCount, qsizetype relationCount) const;

    QList<LinkType> availableLinkTypes() const;
    QStringList availableSourceApps() const;
    QStringList availableTags() const;
    bool hasSuggestionEdges() const;
    bool hasWeakNodes() const;
    bool hasOrphanNodes() const;
    std::optional<Node> selectedNode() const { return nodeWithID(m_selectedNodeID); }
    std::optional<Node> linkingSourceNode() const { return nodeWithID(m_linkingSourceNodeID); }

    // --- Layout and placing nodes by hand --------------------------------------------------------
    // One tick of the force layout; one nodesChanged() for the whole step.
    void stepLayout();
    void centerOnNode(const QUuid& id, bool animated);
    void dragNode(const QUuid& id, QPointF point);
    // From now on the layout leaves the node where the user put it.
    void endDrag(const QUuid& id);

signals:
    void nodesChanged();
    void edgesChanged();
    void selectedNodeIDChanged();
    void activeNodeIDChanged();
    void centeredNodeIDChanged();
    void linkingSourceNodeIDChanged();
    void messageChanged();
    void pendingDeleteItemChanged();
    void pendingRelationDeleteChanged();
    void scopeChanged();
    void filtersChanged();

private:
    QCoro::Task<> load(quint64 generation, std::optional<QString> message);
    void apply(GraphLibrary library, const std::optional<QString>& message);
    void rememberPlacements();
    // The positions in allItems of the links that pass the filters, then those the scope keeps;
    // both keep load order.
    std::vector<qsizetype> filteredItems() const;
    std::vector<qsizetype> applyScope(std::vector<qsizetype> items) const;
    QList<Node> placedNodes(const std::vector<qsizetype>& visible) const;
    QList<Edge> visibleEdges() const;
    std::optional<Node> nodeWithID(const std::optional<QUuid>& id) const;
    void setMessage(const QString& message);
    void setSelectedNodeID(std::optional<QUuid> id);
    void setActiveNodeID(std::optional<QUuid> id);
    void setLinkingSourceNodeID(std::optional<QUuid> id);
    void refreshActiveContext();

    // Published
    QList<Node> m_nodes;
    QList<Edge> m_edges;
    std::optional<QUuid> m_selectedNodeID;
    std::optional<QUuid> m_activeNodeID;
    std::optional<QUuid> m_centeredNodeID;
    std::optional<QUuid> m_linkingSourceNodeID;
    QString m_message = QStringLiteral("Loading graph...");
    std::optional<LinkItem> m_pendingDeleteItem;
    std::optional<PendingRelationDelete> m_pendingRelationDelete;
    GraphScope m_scope = GraphScope::all;
    std::set<LinkType> m_typeFilters;
    QSet<QString> m_appFilters;
    QSet<QString> m_tagFilters;

    // Services
    LinkStore& m_store;
    std::shared_ptr<Clock> m_clock;
    LibraryLoader m_loader;

    // The library and the layout
    QHash<QUuid, qsizetype> m_nodeItems; // shown node -> its link's position in m_allItems
    QList<LinkItem> m_allItems;
    QList<LinkRelation> m_allRelations;
    QHash<QUuid, int> m_allDegreeByID;
    QList<Edge> m_suggestedEdges;
    QHash<QUuid, Placement> m_preservedLayout;
    std::unique_ptr<ClockTimer> m_layoutTimer;
    QMetaObject::Connection m_storeObserver;
    int m_activeContextRefreshCounter = 0;
    std::optional<QUuid> m_animatingCenterNodeID;
    QSet<QUuid> m_userPositionedNodeIDs;
    bool m_suppressMutationReload = false;
    std::optional<QUuid> m_draggingNodeID;
    std::optional<KeyboardRelationNavigation> m_navigation;
    std::optional<CapturedContext> m_lastExternalContext;
    std::function<void()> m_onItemOpened;

    // Loads are numbered as they start; a load applies only when it is newer than the last applied.
    quint64 m_loadsStarted = 0;
    quint64 m_lastAppliedLoad = 0;
};

} // namespace morvane
