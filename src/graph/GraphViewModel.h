#pragma once

#include "ForceLayout.h"
#include "GraphDerivation.h"
#include "GraphElements.h"
#include "GraphLibrary.h"
#include "foundation/Clock.h"
#include "model/CapturedContext.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "store/ItemOpening.h"

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

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace morvane {

class ActiveContextService;
class LinkStore;

// The model behind the Graph window: the library as last loaded, the visible graph derived from it
// under a scope and filters, node positions evolving under the force layout, and the selection and
// status the views draw; the commands the window's controls and keys call, and the item the user has
// in front of them in another application. Main thread only. It is live while its view is shown: the
// view's appear handler calls reload(), startObservingStore() and startLayoutTimer(), its disappear
// handler stop().
//
// Commands check their preconditions at once and report an unmet one only through message(); work
// on the library runs in tasks that end later on the main thread and report failures the same way.
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

    // One suggested partner of a node and why it is suggested.
    struct SuggestedRelation {
        LinkItem item;
        QString reason;
        bool operator==(const SuggestedRelation&) const = default;
    };

    using Placement = GraphPlacement;

    // Reads the library and derives degrees and suggestions, off the main thread.
    using LibraryLoader = std::function<QFuture<GraphLibrary>()>;

    // The layout ticks thirty times a second while it moves.
    static constexpr std::chrono::milliseconds layoutInterval{1000 / 30};
    // Once nothing has woken the layout for a while it cools: each step keeps this share of the speed
    // the step before allowed, so motion that would go on for ever (a hub's fan chasing its own
    // slots) dies away. The while is a second and a half, longer for a large graph, which takes
    // longer to spread out from the circle new nodes start on (six seconds at 5,000 nodes, eight from 6,700).
    static int coolingDelaySteps(qsizetype nodes)
    {
        return int(std::clamp<qsizetype>(nodes * 36 / 1000, 45, 240));
    }
    static constexpr double coolingPerStep = 0.85;
    // After this many steps in a row in which no node moved visibly, the layout rests: its timer stops.
    static constexpr int restingSteps = 10;
    // While the window is shown, how often the graph looks at what the user has in front of them.
    static constexpr std::chrono::milliseconds activeContextInterval{1000};

    // The store outlives the model.
    GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpening> opening,
                   std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                   QObject* parent = nullptr);
    GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpening> opening,
                   std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                   LibraryLoader loader, QObject* parent = nullptr);
    ~GraphViewModel() override;

    // Run after every attempt to open an item from the graph; the application hides the window.
    void setOnItemOpened(std::function<void()> action) { m_onItemOpened = std::move(action); }

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
    bool hasNodeItem(const QUuid& id) const { return m_nodeIndex.contains(id); }
    // Each shown node's place in nodes(), replaced with them (a large graph's is built away from
    // this thread): the view looks edge ends up in it.
    const QHash<QUuid, qsizetype>& nodeIndex() const { return m_nodeIndex; }
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
    // Loads the library off the main thread; where every node shown then is is remembered once the
    // load is in, before the shown set changes. Loads may
    // overlap: the one started last wins, and one that finishes after a newer load is dropped. At
    // the end, message becomes the given text or else the status line.
    void reload(std::optional<QString> message = std::nullopt);
    // Reloads after every library change, except while the model writes relations itself.
    void startObservingStore();
    void startLayoutTimer();
    void stop();
    bool isObservingStore() const { return bool(m_storeObserver); }
    // A load has started whose library is not shown yet.
    bool isLoading() const { return m_lastAppliedLoad < m_loadsStarted; }
    // Stops while the layout rests; anything that can move a node starts it again.
    bool isLayoutTimerRunning() const { return m_layoutTimer && m_layoutTimer->isActive(); }
    bool isActiveContextTimerRunning() const { return m_contextTimer && m_contextTimer->isActive(); }

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
    // One tick of the force layout; one nodesChanged() for the whole step. layoutSettled() when the
    // layout comes to rest.
    void stepLayout();
    // The least move, in layout units, that the view can show (half a pixel at its zoom): a layout
    // whose every node moves less than this is at rest.
    void setVisibleMotion(double layoutUnits) { m_visibleMotion = layoutUnits; }
    // Runs the layout at full strength again, also when it rests: the model calls it on every change
    // to the graph, the selection or a node's place, the view on a resize or a zoom.
    void wakeLayout();
    // Selects the node and marks it centred; animated, the layout glides it to the origin unless the
    // user has placed it by hand. The node need not be shown.
    void centerOnNode(const QUuid& id, bool animated);
    void dragNode(const QUuid& id, QPointF point);
    std::optional<QUuid> draggingNodeID() const { return m_draggingNodeID; }
    // The node the layout is gliding to the origin, if any.
    std::optional<QUuid> animatingCenterNodeID() const { return m_animatingCenterNodeID; }
    // From now on the layout leaves the node where the user put it.
    void endDrag(const QUuid& id);

    // --- Selection and commands ------------------------------------------------------------------
    // Ends keyboard navigation; completes link mode on the node when it is armed, else centres it.
    void handleNodeClick(const QUuid& id);
    // Arms link mode from the selected node: the next click on a node relates the two.
    void beginLinkingFromSelection();
    void cancelLinking();
    void openSelected();
    // Opens the node's item without looking at or changing the selection.
    void openItem(const QUuid& nodeID);
    // Two steps: a request fills the pending field (the window shows its confirmation), confirming
    // clears it before the write starts, so a second confirmation does nothing.
    void requestDeleteSelected();
    void confirmDelete();
    void cancelDelete();
    void requestRelationRemoval(const QUuid& targetNodeID);
    void confirmRelationDelete();
    void cancelRelationDelete();
    // Relates the selected item to the target item, shown or not.
    void acceptSuggestedRelation(const QUuid& targetNodeID);
    // The node's suggested partners among all loaded links (shown or not), by title.
    QList<SuggestedRelation> suggestedRelations(const QUuid& nodeID) const;
    // The shown items the node is related to, by title.
    QList<LinkItem> relatedItems(const QUuid& nodeID) const;
    // The relation from the keyboard's focus to the neighbour it previews.
    std::optional<Edge> keyboardPreviewEdge() const;
    // The toolbar's reload: drops link mode, centring and keyboard navigation, then loads.
    void reloadGraph();

    // --- Relation and item tasks -------------------------------------------------------------------
    // Completes link mode on the clicked node. The relation is written in a task that then adds its
    // edge to the shown graph in place, without a load.
    void createRelation(const QUuid& targetNodeID);
    // Relates two items (a suggestion accepted): the same write and in-place edge as a click.
    void createRelation(const LinkItem& source, const LinkItem& target);
    // Each announces its change to the library, then loads the graph again with its message.
    QCoro::Task<> removeRelation(PendingRelationDelete pending);
    QCoro::Task<> deleteItem(LinkItem item);
    // Opens and records the open through the item opening service, then runs the opened action,
    // whatever happened on the way.
    QCoro::Task<> openItem(LinkItem item);

    // --- Keyboard navigation along relations ---------------------------------------------------------
    // Left and Right preview the focus node's neighbours in turn, Up follows the previewed relation,
    // Down goes back the way the user came. Only shown nodes and relation edges count.
    std::optional<QUuid> keyboardAnchorNodeID() const;
    // The shown nodes related to the node, clockwise on screen from just left of straight down.
    QList<QUuid> orderedNeighborIDs(const QUuid& id) const;
    QSet<QUuid> relatedNodeIDs(const QUuid& id) const;
    void previewNeighbor(bool backward);
    void followPreviewedRelation();
    void navigateBack();
    std::optional<QUuid> previewedNeighborID() const;
    // The first shown relation edge joining the two nodes, in either direction.
    std::optional<Edge> relationEdge(const QUuid& a, const QUuid& b) const;
    // The direction of a neighbour seen from the centre, atan2(dx, -dy) between -pi and pi: 0 straight
    // up on screen (y points down), growing clockwise.
    static double keyboardAngle(QPointF centre, QPointF neighbour);

    // --- The item in front of the user --------------------------------------------------------------
    // When the window is shown. Looks at the application in front, then follows what it shows.
    void captureActiveContext();
    // Marks the link's node as the active one (none when it is not among the loaded links) and, when
    // nothing is selected, centres on it.
    void applyExternalContext(const std::optional<LinkItem>& link);
    const std::optional<CapturedContext>& lastExternalContext() const { return m_lastExternalContext; }

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
    void keyboardRelationNavigationChanged();
    void layoutSettled();

private:
    QCoro::Task<> load(quint64 generation, std::optional<QString> message);
    // Takes in a loaded library and shows its graph: the one given, worked out away from this
    // thread, or else one worked out here.
    using Derived = std::pair<QHash<QUuid, Placement>, GraphDerivation::Result>;
    // `layoutMoved`: nodes may have moved since the graph was worked out.
    void apply(GraphLibrary library, const std::optional<QString>& message,
               std::optional<Derived> derived = std::nullopt, bool layoutMoved = true);
    void rememberPlacements();
    // What the visible graph follows from, as it is now.
    GraphDerivation derivation() const;
    void show(GraphDerivation::Result derived);
    std::optional<Node> nodeWithID(const std::optional<QUuid>& id) const;
    void setMessage(const QString& message);
    void setSelectedNodeID(std::optional<QUuid> id);
    void setActiveNodeID(std::optional<QUuid> id);
    void setLinkingSourceNodeID(std::optional<QUuid> id);
    void setCenteredNodeID(std::optional<QUuid> id);
    void setPendingDeleteItem(std::optional<LinkItem> item);
    void setPendingRelationDelete(std::optional<PendingRelationDelete> pending);
    void setNavigation(std::optional<KeyboardRelationNavigation> navigation);

    // The first loaded link with the id, shown or not.
    const LinkItem* anyItem(const QUuid& id) const;
    QCoro::Task<> relate(LinkItem source, LinkItem target, bool fromClick);
    void addRelationEdgeLocally(const QUuid& a, const QUuid& b);
    void refreshNodeDegree(const QUuid& id);
    void resetVelocities(const QList<QUuid>& ids);
    void announceOwnChange();
    QCoro::Task<bool> changeStore(QFuture<void> change);

    // Starts navigation at the anchor: none when it has no neighbours.
    std::optional<KeyboardRelationNavigation> freshNavigation(const QUuid& anchor) const;
    // The stored navigation, else a fresh one at the anchor.
    std::optional<KeyboardRelationNavigation> currentNavigation() const;
    // Moves the focus to a shown node with neighbours, previewing the node it came from there.
    void moveFocus(const QUuid& from, const QUuid& to, QList<QUuid> backStack);

    void refreshActiveContext();
    QCoro::Task<> lookUpActiveContext(CapturedContext context);

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
    std::shared_ptr<ItemOpening> m_opening;
    std::shared_ptr<ActiveContextService> m_contexts;
    std::shared_ptr<Clock> m_clock;
    LibraryLoader m_loader;

    // The library and the layout
    QHash<QUuid, qsizetype> m_nodeIndex; // shown node -> its place in m_nodes
    QList<qsizetype> m_nodeItems;        // each shown node's link's position in m_allItems
    QList<LinkItem> m_allItems;
    QList<LinkRelation> m_allRelations;
    QHash<QUuid, int> m_allDegreeByID;
    QList<Edge> m_suggestedEdges;
    QHash<QUuid, Placement> m_preservedLayout;
    ForceLayout m_layout;
    std::unique_ptr<ClockTimer> m_layoutTimer;
    std::unique_ptr<ClockTimer> m_contextTimer;
    QMetaObject::Connection m_storeObserver;
    // Steps since the layout was last woken, the share of speed it keeps, and steps in a row that
    // moved nothing visibly.
    int m_stepsSinceWake = 0;
    double m_cooling = 1;
    int m_stillSteps = 0;
    double m_visibleMotion = 0.5;
    std::optional<QUuid> m_animatingCenterNodeID;
    QSet<QUuid> m_userPositionedNodeIDs;
    // Announcements of the graph's own writes still on their way: each is let pass without a load,
    // one by one, so two writes in a row cannot lift each other's guard.
    int m_ownChangesPending = 0;
    std::optional<QUuid> m_draggingNodeID;
    std::optional<KeyboardRelationNavigation> m_navigation;
    std::optional<CapturedContext> m_lastExternalContext;
    std::function<void()> m_onItemOpened;

    // Rebuilds so far: a graph worked out away from this thread is shown only if none came between.
    quint64 m_rebuilds = 0;
    // Libraries of this many links have their visible graph worked out away from this thread.
    static constexpr qsizetype derivedAwayItems = 5000;
    // Loads are numbered as they start; a load applies only when it is newer than the last applied.
    quint64 m_loadsStarted = 0;
    quint64 m_lastAppliedLoad = 0;
    // The newest load started with a message of its own; a load asked for without one while it is
    // still on its way carries the message on, so a command's text outlives the load its change sets off.
    quint64 m_messageLoad = 0;
    QString m_loadMessage;
};

} // namespace morvane
