// The graph's commands: selection, link mode, the two-step deletions, accepting suggestions, opening,
// and the tasks that write to the library.

#include "GraphViewModel.h"
#include "LocalizedOrder.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Pending.h"
#include "store/LinkStore.h"
#include "store/StoreChange.h"

#include <QCoroFuture>
#include <QPointer>

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcGraphCommands, "GraphViewModel")

namespace morvane {

namespace {

QString sameNodeText()
{
    return QStringLiteral("Choose a different node to create a relation.");
}

template <class T, class Title> void sortByTitle(QList<T>& list, Title title)
{
    const LocalizedOrder order;
    std::stable_sort(list.begin(), list.end(),
                     [&](const T& a, const T& b) { return order.less(title(a), title(b)); });
}

} // namespace

// --- Selection and link mode -------------------------------------------------------------------------

void GraphViewModel::handleNodeClick(const QUuid& id)
{
    setNavigation(std::nullopt);
    if (m_linkingSourceNodeID)
        createRelation(id);
    else
        centerOnNode(id, true);
}

void GraphViewModel::beginLinkingFromSelection()
{
    const LinkItem* source = m_selectedNodeID ? nodeItem(*m_selectedNodeID) : nullptr;
    if (!source) {
        setMessage(QStringLiteral("Select a node to link from."));
        return;
    }
    setLinkingSourceNodeID(m_selectedNodeID);
    setMessage(QStringLiteral("Click another node to link it to %1.").arg(source->title));
}

void GraphViewModel::cancelLinking()
{
    setLinkingSourceNodeID(std::nullopt);
    setMessage(QStringLiteral("Linking cancelled."));
}

void GraphViewModel::reloadGraph()
{
    setCenteredNodeID(std::nullopt);
    setLinkingSourceNodeID(std::nullopt);
    setNavigation(std::nullopt);
    reload();
}

// --- Opening -----------------------------------------------------------------------------------------

void GraphViewModel::openSelected()
{
    if (m_selectedNodeID)
        openItem(*m_selectedNodeID);
}

void GraphViewModel::openItem(const QUuid& nodeID)
{
    if (const LinkItem* item = nodeItem(nodeID))
        openItem(*item);
}

// Every task below goes on after a wait only while the model is there: it reaches the library and
// the opener through the model, and neither is promised to outlive it. A change written just before
// the model went away is then not announced, which only happens while the application quits.
QCoro::Task<> GraphViewModel::openItem(LinkItem item)
{
    const QPointer<GraphViewModel> self(this);
    const std::shared_ptr<ItemOpening> opening = m_opening; // kept while it opens
    QCoro::Task<> opened = opening->open(std::move(item));
    try {
        co_await std::move(opened);
    } catch (...) {
        qCWarning(lcGraphCommands) << "Opening a link failed:" << describeError(std::current_exception());
    }
    if (self && m_onItemOpened)
        m_onItemOpened();
}

// --- Changing the store ------------------------------------------------------------------------------

// Waits for a change to the store and announces it. False when it failed (its message is shown) or
// when the model has gone meanwhile: the caller then stops without touching it.
QCoro::Task<bool> GraphViewModel::changeStore(QFuture<void> change)
{
    QCoro::Task<bool> changing =
        changeStoreFor(this, std::move(change), [this](const QString& message) { setMessage(message); });
    const bool changed = co_await changing;
    if (changed)
        announceOwnChange();
    co_return changed;
}

// --- Deleting ----------------------------------------------------------------------------------------

void GraphViewModel::requestDeleteSelected()
{
    const LinkItem* item = m_selectedNodeID ? nodeItem(*m_selectedNodeID) : nullptr;
    if (!item) {
        setMessage(QStringLiteral("Select a node to delete."));
        return;
    }
    setPendingDeleteItem(*item);
}

void GraphViewModel::confirmDelete()
{
    confirmPending(
        m_pendingDeleteItem, [this] { emit pendingDeleteItemChanged(); },
        [this](LinkItem item) { deleteItem(std::move(item)); });
}

void GraphViewModel::cancelDelete()
{
    setPendingDeleteItem(std::nullopt);
}

QCoro::Task<> GraphViewModel::deleteItem(LinkItem item)
{
    const QUuid id = item.id;
    QCoro::Task<bool> deleting = changeStore(m_store.deleteLink(id));
    const bool deleted = co_await deleting;
    if (!deleted)
        co_return;
    if (m_activeNodeID == id)
        setActiveNodeID(std::nullopt);
    if (m_centeredNodeID == id)
        setCenteredNodeID(std::nullopt);
    if (m_linkingSourceNodeID == id)
        setLinkingSourceNodeID(std::nullopt);
    setSelectedNodeID(std::nullopt);
    reload(QStringLiteral("Deleted %1.").arg(item.title));
}

// --- Removing a relation -----------------------------------------------------------------------------

void GraphViewModel::requestRelationRemoval(const QUuid& targetNodeID)
{
    const LinkItem* source = m_selectedNodeID ? nodeItem(*m_selectedNodeID) : nullptr;
    const LinkItem* target = nodeItem(targetNodeID);
    if (!source || !target || source->id == target->id) {
        setMessage(QStringLiteral("Select a node with a relation to remove."));
        return;
    }
    if (!relationEdge(source->id, target->id)) {
        setMessage(QStringLiteral("No relation between these items."));
        return;
    }
    setPendingRelationDelete(
        PendingRelationDelete{source->id, target->id, source->title + QStringLiteral(" ↔ ") + target->title});
}

void GraphViewModel::confirmRelationDelete()
{
    confirmPending(
        m_pendingRelationDelete, [this] { emit pendingRelationDeleteChanged(); },
        [this](PendingRelationDelete pending) { removeRelation(std::move(pending)); });
}

void GraphViewModel::cancelRelationDelete()
{
    setPendingRelationDelete(std::nullopt);
}

QCoro::Task<> GraphViewModel::removeRelation(PendingRelationDelete pending)
{
    const LinkItem* sourceItem = nodeItem(pending.sourceID);
    const LinkItem* targetItem = nodeItem(pending.targetID);
    if (!sourceItem || !targetItem) {
        // The two have left the graph since the request: show the graph as it now is.
        reload();
        co_return;
    }
    const LinkItem source = *sourceItem;
    const LinkItem target = *targetItem;
    QCoro::Task<bool> removing = changeStore(m_store.removeRelation(source.id, target.id));
    const bool removed = co_await removing;
    if (!removed)
        co_return;
    reload(QStringLiteral("Removed relation between “%1” and “%2”.").arg(source.title, target.title));
}

// --- Making relations --------------------------------------------------------------------------------

void GraphViewModel::createRelation(const QUuid& targetNodeID)
{
    if (!m_linkingSourceNodeID)
        return;
    const QUuid sourceID = *m_linkingSourceNodeID;
    if (sourceID == targetNodeID) {
        setMessage(sameNodeText());
        return;
    }
    const LinkItem* source = nodeItem(sourceID);
    const LinkItem* target = nodeItem(targetNodeID);
    setLinkingSourceNodeID(std::nullopt);
    if (!source || !target) {
        setMessage(QStringLiteral("Unable to create relation for missing graph nodes."));
        return;
    }
    m_animatingCenterNodeID.reset();
    relate(*source, *target, true);
}

void GraphViewModel::createRelation(const LinkItem& source, const LinkItem& target)
{
    if (source.id == target.id) {
        setMessage(sameNodeText());
        return;
    }
    relate(source, target, false);
}

void GraphViewModel::acceptSuggestedRelation(const QUuid& targetNodeID)
{
    const LinkItem* source = m_selectedNodeID ? anyItem(*m_selectedNodeID) : nullptr;
    const LinkItem* target = anyItem(targetNodeID);
    if (!source || !target) {
        setMessage(QStringLiteral("Select a node with a suggested relation."));
        return;
    }
    createRelation(*source, *target);
}

// The new edge is drawn in place rather than by a load.
QCoro::Task<> GraphViewModel::relate(LinkItem source, LinkItem target, bool fromClick)
{
    QCoro::Task<bool> relating = changeStore(m_store.addRelation(source.id, target.id));
    const bool related = co_await relating;
    if (!related)
        co_return;
    addRelationEdgeLocally(source.id, target.id);
    if (!fromClick || m_selectedNodeID != source.id)
        centerOnNode(source.id, false);
    setMessage(QStringLiteral("Linked “%1” to “%2”.").arg(source.title, target.title));
}

// Only between two shown nodes: an accepted suggestion may join links the scope or filters hide,
// and the next load draws that relation when they are shown.
void GraphViewModel::addRelationEdgeLocally(const QUuid& a, const QUuid& b)
{
    if (!hasNodeItem(a) || !hasNodeItem(b) || relationEdge(a, b))
        return;
    m_edges.removeIf([&](const Edge& edge) { return edge.kind.isSuggestion() && edge.joins(a, b); });
    m_edges.append({QUuid::createUuid(), a, b, EdgeKind::relation()});
    emit edgesChanged();
    refreshNodeDegree(a);
    refreshNodeDegree(b);
    resetVelocities({a, b});
    wakeLayout();
}

void GraphViewModel::refreshNodeDegree(const QUuid& id)
{
    const auto node =
        std::find_if(m_nodes.begin(), m_nodes.end(), [&](const Node& each) { return each.id == id; });
    if (node == m_nodes.end())
        return;
    node->degree = int(std::count_if(m_edges.begin(), m_edges.end(), [&](const Edge& edge) {
        return edge.kind.isRelation() && (edge.from == id || edge.to == id);
    }));
    node->health = healthForDegree(node->degree);
    emit nodesChanged();
}

void GraphViewModel::resetVelocities(const QList<QUuid>& ids)
{
    for (const QUuid& id : ids) {
        const auto node =
            std::find_if(m_nodes.begin(), m_nodes.end(), [&](const Node& each) { return each.id == id; });
        if (node != m_nodes.end())
            node->velocity = {};
    }
    emit nodesChanged();
}

// Every change the graph makes is announced (with sync) for the rest of the application; the graph
// itself is already up to date, by an edge drawn in place or a load of its own with its message, so
// its observer lets each of its own announcements pass instead of loading over that message.
void GraphViewModel::announceOwnChange()
{
    if (isObservingStore())
        ++m_ownChangesPending;
    m_store.notifyDidMutate(true);
}

// --- Lists for the views -------------------------------------------------------------------------------

QList<GraphViewModel::SuggestedRelation> GraphViewModel::suggestedRelations(const QUuid& nodeID) const
{
    QList<SuggestedRelation> suggestions;
    for (const Edge& edge : m_suggestedEdges) {
        if (edge.from != nodeID && edge.to != nodeID)
            continue;
        if (const LinkItem* other = anyItem(edge.from == nodeID ? edge.to : edge.from))
            suggestions.append({*other, edge.kind.reason()});
    }
    sortByTitle(suggestions, [](const SuggestedRelation& each) -> const QString& { return each.item.title; });
    return suggestions;
}

QList<LinkItem> GraphViewModel::relatedItems(const QUuid& nodeID) const
{
    const QSet<QUuid> related = relatedNodeIDs(nodeID);
    QList<LinkItem> items;
    // In the order of the shown nodes, so that equal titles come in a stable order.
    for (const Node& node : m_nodes) {
        if (related.contains(node.id)) {
            if (const LinkItem* item = nodeItem(node.id))
                items.append(*item);
        }
    }
    sortByTitle(items, [](const LinkItem& each) -> const QString& { return each.title; });
    return items;
}

const LinkItem* GraphViewModel::anyItem(const QUuid& id) const
{
    if (const LinkItem* shown = nodeItem(id))
        return shown;
    const auto found = std::find_if(m_allItems.begin(), m_allItems.end(),
                                    [&](const LinkItem& item) { return item.id == id; });
    return found == m_allItems.end() ? nullptr : &*found;
}

} // namespace morvane
