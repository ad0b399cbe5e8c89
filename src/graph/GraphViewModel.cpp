#include "GraphViewModel.h"

#include "ForceLayout.h"
#include "LocalizedOrder.h"
#include "capture/ActiveContextService.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>

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

// New nodes wait on a circle whose radius grows with their number up to a ceiling (reached at 16).
constexpr double circleBaseRadius = 170;
constexpr double circleRadiusPerNode = 12;
constexpr double circleLargestRadius = 360;

} // namespace

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpener> opener,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               QObject* parent)
    : GraphViewModel(
          store, std::move(opener), std::move(contexts), std::move(clock),
          [&store] { return GraphLibrary::read(store); }, parent)
{
}

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<ItemOpener> opener,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               LibraryLoader loader, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_opener(std::move(opener))
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
    rememberPlacements();
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
    m_lastAppliedLoad = generation;
    if (library) {
        apply(std::move(*library), message);
    } else {
        qCWarning(lcGraph) << "The graph could not be loaded:" << failure;
        setMessage(failure);
    }
}

void GraphViewModel::apply(GraphLibrary library, const std::optional<QString>& message)
{
    discardOffMainThread(std::exchange(m_allItems, std::move(library.items)),
                         std::exchange(m_allRelations, std::move(library.relations)),
                         std::exchange(m_allDegreeByID, std::move(library.degreeByID)));
    m_suggestedEdges = std::move(library.suggestedEdges);
    rebuild();
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
    m_layoutTimer->start(layoutInterval, true);
}

void GraphViewModel::stop()
{
    if (m_layoutTimer) {
        m_layoutTimer->stop();
        m_layoutTimer.reset();
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

// After a load that left nothing selected, every 30 layout steps, and when the window is shown. The
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
    QFuture<std::optional<LinkItem>> lookup = m_store.findLink(std::move(context));
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
    setActiveNodeID(loaded ? std::optional<QUuid>(link->id) : std::nullopt);
    // The neighbourhood shown follows the item the user works on.
    if (m_scope == GraphScope::currentNeighborhood)
        rebuild();
    // A selection the user made is never taken over.
    if (loaded && !m_selectedNodeID)
        centerOnNode(link->id, true);
}

// --- The visible graph -----------------------------------------------------------------------------

void GraphViewModel::rebuild()
{
    rememberPlacements();
    if (m_allItems.isEmpty()) {
        m_nodeItems.clear();
        m_nodes.clear();
        emit nodesChanged();
        m_edges.clear();
        emit edgesChanged();
        return;
    }
    const std::vector<qsizetype> visible = applyScope(filteredItems());
    QHash<QUuid, qsizetype> nodeItems;
    nodeItems.reserve(qsizetype(visible.size()));
    for (const qsizetype index : visible)
        nodeItems.insert(m_allItems[index].id, index);
    discardOffMainThread(std::exchange(m_nodeItems, std::move(nodeItems)),
                         std::exchange(m_nodes, placedNodes(visible)));
    emit nodesChanged();
    m_edges = visibleEdges();
    emit edgesChanged();
    if (m_selectedNodeID && !hasNodeItem(*m_selectedNodeID))
        setSelectedNodeID(std::nullopt);
    if (m_activeNodeID && !hasNodeItem(*m_activeNodeID))
        setActiveNodeID(std::nullopt);
    setNavigation(std::nullopt);
    setMessage(statusText(m_allItems.size(), m_allRelations.size()));
}

// Every shown node's place is remembered before the shown set changes, so a node keeps its place
// through every rebuild and a node hidden for a while comes back where it was last seen.
void GraphViewModel::rememberPlacements()
{
    for (const Node& node : std::as_const(m_nodes))
        m_preservedLayout.insert(node.id, {node.position, node.velocity});
}

QList<GraphViewModel::Node> GraphViewModel::placedNodes(const std::vector<qsizetype>& visible) const
{
    const qsizetype n = std::max<qsizetype>(qsizetype(visible.size()), 1);
    const double radius = std::min(circleBaseRadius + circleRadiusPerNode * double(n), circleLargestRadius);
    QList<Node> nodes;
    nodes.reserve(qsizetype(visible.size()));
    for (size_t i = 0; i < visible.size(); ++i) {
        const LinkItem& item = m_allItems[visible[i]];
        Node node{item.id, item.title, item.type, {}, {}, m_allDegreeByID.value(item.id), {}};
        node.health = healthForDegree(node.degree);
        if (const auto kept = m_preservedLayout.constFind(item.id); kept != m_preservedLayout.cend()) {
            node.position = kept->position;
            node.velocity = kept->velocity;
        } else {
            const double angle = 2 * std::numbers::pi * double(i) / double(n);
            node.position = {radius * std::cos(angle), radius * std::sin(angle)};
        }
        nodes.append(std::move(node));
    }
    return nodes;
}

QList<GraphViewModel::Edge> GraphViewModel::visibleEdges() const
{
    QList<Edge> edges;
    for (const LinkRelation& relation : m_allRelations) {
        if (hasNodeItem(relation.fromLinkID) && hasNodeItem(relation.toLinkID))
            edges.append({relation.id, relation.fromLinkID, relation.toLinkID, EdgeKind::relation()});
    }
    for (const Edge& edge : m_suggestedEdges) {
        if (hasNodeItem(edge.from) && hasNodeItem(edge.to))
            edges.append(edge);
    }
    return edges;
}

const LinkItem* GraphViewModel::nodeItem(const QUuid& id) const
{
    const auto found = m_nodeItems.constFind(id);
    return found == m_nodeItems.cend() ? nullptr : &m_allItems[*found];
}

bool GraphViewModel::matchesFilters(const LinkItem& item) const
{
    if (!m_typeFilters.empty() && !m_typeFilters.contains(item.type))
        return false;
    if (!m_appFilters.isEmpty() && !m_appFilters.contains(item.sourceApp))
        return false;
    if (m_tagFilters.isEmpty())
        return true;
    return std::any_of(item.tags.begin(), item.tags.end(),
                       [this](const QString& tag) { return m_tagFilters.contains(tag); });
}

std::vector<qsizetype> GraphViewModel::filteredItems() const
{
    std::vector<qsizetype> kept;
    kept.reserve(size_t(m_allItems.size()));
    for (qsizetype i = 0; i < m_allItems.size(); ++i) {
        if (matchesFilters(m_allItems[i]))
            kept.push_back(i);
    }
    return kept;
}

std::vector<qsizetype> GraphViewModel::applyScope(std::vector<qsizetype> items) const
{
    QSet<QUuid> chosen;
    std::function<bool(const LinkItem&)> keeps;
    switch (m_scope) {
    case GraphScope::all:
        return items;
    case GraphScope::currentNeighborhood: {
        const std::optional<QUuid> centre = m_activeNodeID ? m_activeNodeID : m_selectedNodeID;
        if (!centre)
            return items;
        chosen.insert(*centre);
        for (const LinkRelation& relation : m_allRelations) {
            if (relation.fromLinkID == *centre)
                chosen.insert(relation.toLinkID);
            if (relation.toLinkID == *centre)
                chosen.insert(relation.fromLinkID);
        }
        for (const Edge& edge : m_suggestedEdges) {
            if (edge.from == *centre)
                chosen.insert(edge.to);
            if (edge.to == *centre)
                chosen.insert(edge.from);
        }
        keeps = [&chosen](const LinkItem& item) { return chosen.contains(item.id); };
        break;
    }
    case GraphScope::orphans:
        keeps = [this](const LinkItem& item) { return m_allDegreeByID.value(item.id) == 0; };
        break;
    case GraphScope::weakLinks:
        keeps = [this](const LinkItem& item) { return m_allDegreeByID.value(item.id) < 2; };
        break;
    case GraphScope::suggestions:
        for (const Edge& edge : m_suggestedEdges) {
            chosen.insert(edge.from);
            chosen.insert(edge.to);
        }
        keeps = [&chosen](const LinkItem& item) { return chosen.contains(item.id); };
        break;
    }
    std::erase_if(items, [&](qsizetype index) { return !keeps(m_allItems[index]); });
    return items;
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
    if (m_nodes.size() < 2)
        return;
    if (++m_activeContextRefreshCounter >= activeContextRefreshSteps) {
        m_activeContextRefreshCounter = 0;
        refreshActiveContext();
    }
    if (ForceLayout::step(m_nodes, m_edges,
                          {m_draggingNodeID, &m_userPositionedNodeIDs, m_animatingCenterNodeID}))
        m_animatingCenterNodeID.reset();
    emit nodesChanged();
}

void GraphViewModel::centerOnNode(const QUuid& id, bool animated)
{
    setSelectedNodeID(id);
    setCenteredNodeID(id);
    if (animated && !m_userPositionedNodeIDs.contains(id))
        m_animatingCenterNodeID = id;
    else
        m_animatingCenterNodeID.reset();
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
}

void GraphViewModel::endDrag(const QUuid& id)
{
    m_draggingNodeID.reset();
    m_userPositionedNodeIDs.insert(id);
    m_animatingCenterNodeID.reset();
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
