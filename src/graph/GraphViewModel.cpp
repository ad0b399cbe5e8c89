#include "GraphViewModel.h"

#include "ForceLayout.h"
#include "LocalizedOrder.h"
#include "capture/ActiveContextService.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

#include <cmath>
#include <numbers>
#include <tuple>
#include <utility>

MORVANE_LOGGING_CATEGORY(lcGraph, "GraphViewModel")

namespace morvane {

namespace {

// Freeing a large library or graph means freeing every one of its strings: that is left to the pool,
// away from the window's thread.
template <class... T> void discardOffMainThread(T... values)
{
    QThreadPool::globalInstance()->start([held = std::make_tuple(std::move(values)...)] {});
}

} // namespace

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpening> opening,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               QObject* parent)
    : GraphViewModel(
          store, std::move(opening), std::move(contexts), std::move(clock),
          [&store] { return GraphLibrary::read(store); }, parent)
{
}

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpening> opening,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               LibraryLoader loader, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_opening(std::move(opening))
    , m_contexts(std::move(contexts))
    , m_clock(std::move(clock))
    , m_loader(std::move(loader))
{
}

GraphViewModel::~GraphViewModel() = default;

// --- Scope and filters ---------------------------------------------------------------------------

void GraphViewModel::setScope(GraphScope scope)
{
    m_scope = scope;
    emit scopeChanged();
    rebuild();
}

void GraphViewModel::setTypeFilters(std::set<LinkType> types)
{
    m_typeFilters = std::move(types);
    emit filtersChanged();
    rebuild();
}

void GraphViewModel::setAppFilters(QSet<QString> apps)
{
    m_appFilters = std::move(apps);
    emit filtersChanged();
    rebuild();
}

void GraphViewModel::setTagFilters(QSet<QString> tags)
{
    m_tagFilters = std::move(tags);
    emit filtersChanged();
    rebuild();
}

// --- Lifecycle -------------------------------------------------------------------------------------

void GraphViewModel::reload(std::optional<QString> message)
{
    const quint64 generation = ++m_loadsStarted;
    if (!message && m_messageLoad > m_lastAppliedLoad)
        message = m_loadMessage;
    if (message) {
        m_messageLoad = generation;
        m_loadMessage = *message;
    }
    load(generation, std::move(message));
}

QCoro::Task<> GraphViewModel::load(quint64 generation, std::optional<QString> message)
{
    const QPointer<GraphViewModel> self(this);
    std::optional<GraphLibrary> library;
    QString failure;
    try {
        library = co_await m_loader();
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    // A load that ends after a newer one has been applied would show an older library.
    if (!self || generation <= m_lastAppliedLoad)
        co_return;
    if (library && library->items.size() >= derivedAwayItems) {
        // A large library's visible graph is worked out on the pool, where the places of the nodes
        // shown now are remembered too; it is shown unless the graph was rebuilt meanwhile (a scope
        // or filter chosen), when it is worked out again here.
        const quint64 rebuilds = m_rebuilds;
        GraphDerivation derivation = this->derivation();
        derivation.items = library->items;
        derivation.relations = library->relations;
        derivation.degreeByID = library->degreeByID;
        derivation.suggestedEdges = library->suggestedEdges;
        // Handed back behind a pointer: the future keeps a copy of what it hands back, and the nodes
        // are changed below, which would copy them all if that copy shared them. The nodes shown now
        // are kept here too: still shared with those shown when the graph is in, nothing has moved.
        QList<Node> shown = m_nodes;
        auto work = [derivation = std::move(derivation), shown]() mutable {
            for (const Node& node : shown)
                derivation.preservedLayout.insert(node.id, {node.position, node.velocity});
            return std::make_shared<Derived>(std::move(derivation.preservedLayout), derivation.derive());
        };
        QFuture<std::shared_ptr<Derived>> deriving = QtConcurrent::run(std::move(work));
        const std::shared_ptr<Derived> derived = co_await deriving;
        if (!self || generation <= m_lastAppliedLoad)
            co_return;
        const bool layoutMoved = !m_nodes.isSharedWith(shown);
        discardOffMainThread(std::move(shown));
        if (m_rebuilds == rebuilds) {
            m_lastAppliedLoad = generation;
            apply(std::move(*library), message, std::move(*derived), layoutMoved);
            co_return;
        }
    }
    m_lastAppliedLoad = generation;
    if (library) {
        apply(std::move(*library), message);
    } else {
        qCWarning(lcGraph) << "The graph could not be loaded:" << failure;
        setMessage(failure);
    }
}

void GraphViewModel::apply(GraphLibrary library, const std::optional<QString>& message,
                           std::optional<Derived> derived, bool layoutMoved)
{
    discardOffMainThread(std::exchange(m_allItems, std::move(library.items)),
                         std::exchange(m_allRelations, std::move(library.relations)),
                         std::exchange(m_allDegreeByID, std::move(library.degreeByID)));
    m_suggestedEdges = std::move(library.suggestedEdges);
    if (derived) {
        // The layout went on while the graph was worked out: nodes still shown in the same order
        // keep where it has taken them since.
        auto& [placements, result] = *derived;
        if (layoutMoved && result.nodes.size() == m_nodes.size() &&
            std::equal(result.nodes.begin(), result.nodes.end(), m_nodes.begin(),
                       [](const Node& a, const Node& b) { return a.id == b.id; })) {
            for (qsizetype i = 0; i < m_nodes.size(); ++i) {
                result.nodes[i].position = m_nodes[i].position;
                result.nodes[i].velocity = m_nodes[i].velocity;
            }
        }
        ++m_rebuilds;
        discardOffMainThread(std::exchange(m_preservedLayout, std::move(placements)));
        show(std::move(result));
    } else {
        rebuild();
    }
    // The pins as they are now, so that a drag that ended while the load ran keeps its node in place.
    m_userPositionedNodeIDs.removeIf([this](const QUuid& id) { return !hasNodeItem(id); });
    if (m_selectedNodeID && !hasNodeItem(*m_selectedNodeID))
        setSelectedNodeID(std::nullopt);
    if (m_linkingSourceNodeID && !hasNodeItem(*m_linkingSourceNodeID))
        setLinkingSourceNodeID(std::nullopt);
    if (!m_selectedNodeID)
        refreshActiveContext();
    setMessage(message.value_or(statusText(m_allItems.size(), m_allRelations.size())));
}

void GraphViewModel::startObservingStore()
{
    if (m_storeObserver)
        return;
    // Announcements made while nothing listened will never arrive here.
    m_ownChangesPending = 0;
    m_storeObserver = connect(&m_store.notifier(), &LinkStoreNotifier::didMutate, this, [this] {
        if (m_ownChangesPending > 0)
            --m_ownChangesPending;
        else
            reload();
    });
}

void GraphViewModel::startLayoutTimer()
{
    if (m_layoutTimer)
        m_layoutTimer->stop();
    m_layoutTimer = m_clock->makeTimer([this] { stepLayout(); });
    wakeLayout();
    // Its own timer, so that a resting layout still follows the application in front.
    if (m_contextTimer)
        m_contextTimer->stop();
    m_contextTimer = m_clock->makeTimer([this] { refreshActiveContext(); });
    m_contextTimer->start(activeContextInterval, true);
}

void GraphViewModel::wakeLayout()
{
    m_stepsSinceWake = 0;
    m_cooling = 1;
    m_stillSteps = 0;
    if (m_layoutTimer && !m_layoutTimer->isActive())
        m_layoutTimer->start(layoutInterval, true);
}

void GraphViewModel::stop()
{
    for (auto* timer : {&m_layoutTimer, &m_contextTimer}) {
        if (*timer) {
            (*timer)->stop();
            timer->reset();
        }
    }
    if (m_storeObserver) {
        disconnect(m_storeObserver);
        m_storeObserver = {};
    }
}

// --- The item in front of the user ---------------------------------------------------------------

// The refresh itself captures and remembers what it saw, so showing the window asks the application
// in front once.
void GraphViewModel::captureActiveContext()
{
    refreshActiveContext();
}

// After a load that left nothing selected, every second while the window is shown, and when it is shown. The
// capture runs here on the main thread (providers may wait for other applications); the lookup runs
// on the store thread. While the capture finds nothing the graph keeps following the last item seen.
void GraphViewModel::refreshActiveContext()
{
    m_contexts->refreshInBackground(); // for the next refresh: bus readers answer from their last reading
    const CaptureResult captured = m_contexts->captureContexts();
    if (!captured.contexts.isEmpty())
        m_lastExternalContext = captured.contexts.first();
    if (m_lastExternalContext)
        lookUpActiveContext(*m_lastExternalContext);
}

// Lookups are not ordered against each other: each applies its answer when it arrives.
QCoro::Task<> GraphViewModel::lookUpActiveContext(CapturedContext context)
{
    const QPointer<GraphViewModel> self(this);
    std::optional<LinkItem> link;
    QFuture<std::optional<LinkItem>> lookup = ContextLookups(m_store).findLink(std::move(context));
    try {
        link = co_await lookup;
    } catch (...) {
        // A failed lookup counts as an item that is not saved.
    }
    if (self)
        applyExternalContext(link);
}

void GraphViewModel::applyExternalContext(const std::optional<LinkItem>& link)
{
    const bool loaded = link && anyItem(link->id) != nullptr;
    const std::optional<QUuid> active = loaded ? std::optional<QUuid>(link->id) : std::nullopt;
    // A look that finds what the last one found changes nothing: no rebuild, no layout steps.
    if (active != m_activeNodeID) {
        setActiveNodeID(active);
        // The neighbourhood shown follows the item the user works on.
        if (m_scope == GraphScope::currentNeighborhood)
            rebuild();
    }
    // A selection the user made is never taken over.
    if (loaded && !m_selectedNodeID)
        centerOnNode(link->id, true);
}

// --- The visible graph -----------------------------------------------------------------------------

void GraphViewModel::rebuild()
{
    ++m_rebuilds;
    rememberPlacements();
    show(m_allItems.isEmpty() ? GraphDerivation::Result() : derivation().derive());
}

GraphDerivation GraphViewModel::derivation() const
{
    return {m_allItems,   m_allRelations, m_allDegreeByID, m_suggestedEdges, m_scope,          m_typeFilters,
            m_appFilters, m_tagFilters,   m_activeNodeID,  m_selectedNodeID, m_preservedLayout};
}

void GraphViewModel::show(GraphDerivation::Result derived)
{
    discardOffMainThread(std::exchange(m_nodeIndex, std::move(derived.nodeIndex)),
                         std::exchange(m_nodeItems, std::move(derived.nodeItems)),
                         std::exchange(m_nodes, std::move(derived.nodes)),
                         std::exchange(m_edges, std::move(derived.edges)));
    emit nodesChanged();
    emit edgesChanged();
    if (m_allItems.isEmpty())
        return;
    if (m_selectedNodeID && !hasNodeItem(*m_selectedNodeID))
        setSelectedNodeID(std::nullopt);
    if (m_activeNodeID && !hasNodeItem(*m_activeNodeID))
        setActiveNodeID(std::nullopt);
    setNavigation(std::nullopt);
    setMessage(statusText(m_allItems.size(), m_allRelations.size()));
    wakeLayout();
}

// Every shown node's place is remembered before the shown set changes, so a node keeps its place
// through every rebuild and a node hidden for a while comes back where it was last seen.
void GraphViewModel::rememberPlacements()
{
    for (const Node& node : std::as_const(m_nodes))
        m_preservedLayout.insert(node.id, {node.position, node.velocity});
}

const LinkItem* GraphViewModel::nodeItem(const QUuid& id) const
{
    const auto found = m_nodeIndex.constFind(id);
    return found == m_nodeIndex.cend() ? nullptr : &m_allItems[m_nodeItems[*found]];
}

QString GraphViewModel::statusText(qsizetype itemCount, qsizetype relationCount) const
{
    if (itemCount < 1)
        return QStringLiteral("No links yet. Add links and relations to grow the graph.");
    if (m_scope == GraphScope::suggestions) {
        const auto shown = std::count_if(m_edges.begin(), m_edges.end(),
                                         [](const Edge& edge) { return edge.kind.isSuggestion(); });
        return QStringLiteral("%1 links with %2 suggested relation%3")
            .arg(m_nodes.size())
            .arg(shown)
            .arg(shown == 1 ? QString() : QStringLiteral("s"));
    }
    return QStringLiteral("%1 of %2 links, %3 relations, %4 suggestions")
        .arg(m_nodes.size())
        .arg(itemCount)
        .arg(relationCount)
        .arg(m_suggestedEdges.size());
}

QList<LinkType> GraphViewModel::availableLinkTypes() const
{
    std::set<LinkType> present;
    for (const LinkItem& item : m_allItems)
        present.insert(item.type);
    QList<LinkType> types;
    for (const LinkType type : allLinkTypes()) {
        if (present.contains(type))
            types.append(type);
    }
    return types;
}

QStringList GraphViewModel::availableSourceApps() const
{
    QStringList apps;
    QSet<QString> seen;
    for (const LinkItem& item : m_allItems) {
        if (!item.sourceApp.isEmpty() && !seen.contains(item.sourceApp)) {
            seen.insert(item.sourceApp);
            apps.append(item.sourceApp);
        }
    }
    LocalizedOrder().sort(apps);
    return apps;
}

QStringList GraphViewModel::availableTags() const
{
    QStringList tags;
    QSet<QString> seen;
    for (const LinkItem& item : m_allItems) {
        for (const QString& tag : item.tags) {
            if (!seen.contains(tag)) {
                seen.insert(tag);
                tags.append(tag);
            }
        }
    }
    LocalizedOrder().sort(tags);
    return tags;
}

bool GraphViewModel::hasSuggestionEdges() const
{
    return std::any_of(m_edges.begin(), m_edges.end(),
                       [](const Edge& edge) { return edge.kind.isSuggestion(); });
}

bool GraphViewModel::hasWeakNodes() const
{
    return std::any_of(m_nodes.begin(), m_nodes.end(),
                       [](const Node& node) { return node.health == NodeHealth::weak; });
}

bool GraphViewModel::hasOrphanNodes() const
{
    return std::any_of(m_nodes.begin(), m_nodes.end(),
                       [](const Node& node) { return node.health == NodeHealth::orphan; });
}

bool GraphViewModel::matchesFilters(const LinkItem& item) const
{
    return GraphDerivation::matches(item, m_typeFilters, m_appFilters, m_tagFilters);
}

std::optional<GraphViewModel::Node> GraphViewModel::nodeWithID(const std::optional<QUuid>& id) const
{
    if (!id)
        return std::nullopt;
    const auto found =
        std::find_if(m_nodes.begin(), m_nodes.end(), [&](const Node& node) { return node.id == *id; });
    return found == m_nodes.end() ? std::nullopt : std::optional<Node>(*found);
}

// --- Layout and placing nodes by hand ----------------------------------------------------------------

void GraphViewModel::stepLayout()
{
    bool still = true;
    if (m_nodes.size() >= 2) {
        const double cooling =
            m_stepsSinceWake < coolingDelaySteps(m_nodes.size()) ? 1.0 : (m_cooling *= coolingPerStep);
        ++m_stepsSinceWake;
        const auto step = m_layout.step(m_nodes, m_edges,
                                        {m_draggingNodeID, &m_userPositionedNodeIDs, m_animatingCenterNodeID},
                                        cooling, &m_nodeIndex);
        if (step.arrived)
            m_animatingCenterNodeID.reset();
        emit nodesChanged();
        still = step.largestMove < m_visibleMotion && !m_animatingCenterNodeID && !m_draggingNodeID;
    }
    m_stillSteps = still ? m_stillSteps + 1 : 0;
    if (m_stillSteps >= restingSteps && isLayoutTimerRunning()) {
        m_layoutTimer->stop();
        emit layoutSettled();
    }
}

void GraphViewModel::centerOnNode(const QUuid& id, bool animated)
{
    setSelectedNodeID(id);
    setCenteredNodeID(id);
    if (animated && !m_userPositionedNodeIDs.contains(id))
        m_animatingCenterNodeID = id;
    else
        m_animatingCenterNodeID.reset();
    wakeLayout();
}

void GraphViewModel::dragNode(const QUuid& id, QPointF point)
{
    m_draggingNodeID = id;
    const auto found =
        std::find_if(m_nodes.begin(), m_nodes.end(), [&](const Node& node) { return node.id == id; });
    if (found == m_nodes.end())
        return;
    found->position = point;
    found->velocity = {};
    emit nodesChanged();
    m_animatingCenterNodeID.reset();
    wakeLayout();
}

void GraphViewModel::endDrag(const QUuid& id)
{
    m_draggingNodeID.reset();
    m_userPositionedNodeIDs.insert(id);
    m_animatingCenterNodeID.reset();
    wakeLayout();
}

// --- Published fields ------------------------------------------------------------------------------

void GraphViewModel::setMessage(const QString& message)
{
    m_message = message;
    emit messageChanged();
}

void GraphViewModel::setSelectedNodeID(std::optional<QUuid> id)
{
    m_selectedNodeID = id;
    emit selectedNodeIDChanged();
    wakeLayout();
}

void GraphViewModel::setActiveNodeID(std::optional<QUuid> id)
{
    m_activeNodeID = id;
    emit activeNodeIDChanged();
}

void GraphViewModel::setLinkingSourceNodeID(std::optional<QUuid> id)
{
    m_linkingSourceNodeID = id;
    emit linkingSourceNodeIDChanged();
}

void GraphViewModel::setCenteredNodeID(std::optional<QUuid> id)
{
    m_centeredNodeID = id;
    emit centeredNodeIDChanged();
}

void GraphViewModel::setPendingDeleteItem(std::optional<LinkItem> item)
{
    m_pendingDeleteItem = std::move(item);
    emit pendingDeleteItemChanged();
}

void GraphViewModel::setPendingRelationDelete(std::optional<PendingRelationDelete> pending)
{
    m_pendingRelationDelete = std::move(pending);
    emit pendingRelationDeleteChanged();
}

void GraphViewModel::setNavigation(std::optional<KeyboardRelationNavigation> navigation)
{
    m_navigation = std::move(navigation);
    emit keyboardRelationNavigationChanged();
}

} // namespace morvane
