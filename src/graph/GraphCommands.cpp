// The graph's commands: selection, link mode, the two-step deletions, accepting suggestions, opening,
// and the tasks that write to the library.

#include "GraphCommands.h"

#include "GraphContent.h"
#include "GraphLayoutDriver.h"
#include "GraphLoader.h"
#include "GraphNavigation.h"
#include "GraphSelection.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Pending.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"
#include "store/StoreChange.h"

#include <QCoroFuture>
#include <QPointer>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcGraphCommands, "GraphViewModel")

namespace morvane {

namespace {

QString sameNodeText()
{
    return QStringLiteral("Choose a different node to create a relation.");
}

} // namespace

GraphCommands::GraphCommands(LinkStore& store, std::shared_ptr<ItemOpening> opening, GraphContent& content,
                             GraphSelection& selection, GraphNavigation& navigation,
                             GraphLayoutDriver& layout, GraphLoader& loader, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_opening(std::move(opening))
    , m_content(content)
    , m_selection(selection)
    , m_navigation(navigation)
    , m_layout(layout)
    , m_loader(loader)
{
}

GraphCommands::~GraphCommands() = default;

void GraphCommands::setMessage(const QString& message)
{
    m_content.setMessage(message);
}

// --- Selection and link mode -------------------------------------------------------------------------

void GraphCommands::handleNodeClick(const QUuid& id)
{
    m_navigation.endKeyboardNavigation();
    if (m_selection.linkingSourceNodeID())
        createRelation(id);
    else
        m_navigation.centerOnNode(id, true);
}

void GraphCommands::beginLinkingFromSelection()
{
    const std::optional<QUuid> selected = m_selection.selectedNodeID();
    const LinkItem* source = selected ? m_content.nodeItem(*selected) : nullptr;
    if (!source) {
        setMessage(QStringLiteral("Select a node to link from."));
        return;
    }
    m_selection.setLinkingSourceNodeID(selected);
    setMessage(QStringLiteral("Click another node to link it to %1.").arg(source->title));
}

void GraphCommands::cancelLinking()
{
    m_selection.setLinkingSourceNodeID(std::nullopt);
    setMessage(QStringLiteral("Linking cancelled."));
}

void GraphCommands::reloadGraph()
{
    m_selection.setCenteredNodeID(std::nullopt);
    m_selection.setLinkingSourceNodeID(std::nullopt);
    m_navigation.endKeyboardNavigation();
    m_loader.reload();
}

// --- Opening -----------------------------------------------------------------------------------------

void GraphCommands::openSelected()
{
    if (const std::optional<QUuid> selected = m_selection.selectedNodeID())
        openItem(*selected);
}

void GraphCommands::openItem(const QUuid& nodeID)
{
    if (const LinkItem* item = m_content.nodeItem(nodeID))
        openItem(*item);
}

// Every task below goes on after a wait only while the commands are there: they reach the library
// and the opener through them, and neither is promised to outlive them. A change written just before
// the graph went away is then not announced, which only happens while the application quits.
QCoro::Task<> GraphCommands::openItem(LinkItem item)
{
    const QPointer<GraphCommands> self(this);
    const std::shared_ptr<ItemOpening> opening = m_opening; // kept while it opens
    QCoro::Task<> opened = opening->open(std::move(item));
    try {
        co_await std::move(opened);
    } catch (...) {
        qCWarning(lcGraphCommands) << "Opening a link failed:" << describeError(std::current_exception());
    }
    if (self)
        emit itemOpened();
}

// --- Changing the store ------------------------------------------------------------------------------

// Waits for a change to the store and announces it. False when it failed (its message is shown) or
// when the graph has gone meanwhile: the caller then stops without touching it.
QCoro::Task<bool> GraphCommands::changeStore(QFuture<void> change)
{
    QCoro::Task<bool> changing =
        changeStoreFor(this, std::move(change), [this](const QString& message) { setMessage(message); });
    const bool changed = co_await changing;
    if (changed)
        m_loader.announceOwnChange();
    co_return changed;
}

// --- Deleting ----------------------------------------------------------------------------------------

void GraphCommands::requestDeleteSelected()
{
    const std::optional<QUuid> selected = m_selection.selectedNodeID();
    const LinkItem* item = selected ? m_content.nodeItem(*selected) : nullptr;
    if (!item) {
        setMessage(QStringLiteral("Select a node to delete."));
        return;
    }
    setPendingDeleteItem(*item);
}

void GraphCommands::confirmDelete()
{
    confirmPending(
        m_pendingDeleteItem, [this] { emit pendingDeleteItemChanged(); },
        [this](LinkItem item) { deleteItem(std::move(item)); });
}

void GraphCommands::cancelDelete()
{
    setPendingDeleteItem(std::nullopt);
}

QCoro::Task<> GraphCommands::deleteItem(LinkItem item)
{
    const QUuid id = item.id;
    QCoro::Task<bool> deleting = changeStore(m_store.deleteLink(id));
    const bool deleted = co_await deleting;
    if (!deleted)
        co_return;
    if (m_selection.activeNodeID() == id)
        m_selection.setActiveNodeID(std::nullopt);
    if (m_selection.centeredNodeID() == id)
        m_selection.setCenteredNodeID(std::nullopt);
    if (m_selection.linkingSourceNodeID() == id)
        m_selection.setLinkingSourceNodeID(std::nullopt);
    m_selection.setSelectedNodeID(std::nullopt);
    m_loader.reload(QStringLiteral("Deleted %1.").arg(item.title));
}

// --- Removing a relation -----------------------------------------------------------------------------

void GraphCommands::requestRelationRemoval(const QUuid& targetNodeID)
{
    const std::optional<QUuid> selected = m_selection.selectedNodeID();
    const LinkItem* source = selected ? m_content.nodeItem(*selected) : nullptr;
    const LinkItem* target = m_content.nodeItem(targetNodeID);
    if (!source || !target || source->id == target->id) {
        setMessage(QStringLiteral("Select a node with a relation to remove."));
        return;
    }
    if (!m_content.relationEdge(source->id, target->id)) {
        setMessage(QStringLiteral("No relation between these items."));
        return;
    }
    setPendingRelationDelete(
        PendingRelationDelete{source->id, target->id, source->title + QStringLiteral(" ↔ ") + target->title});
}

void GraphCommands::confirmRelationDelete()
{
    confirmPending(
        m_pendingRelationDelete, [this] { emit pendingRelationDeleteChanged(); },
        [this](PendingRelationDelete pending) { removeRelation(std::move(pending)); });
}

void GraphCommands::cancelRelationDelete()
{
    setPendingRelationDelete(std::nullopt);
}

QCoro::Task<> GraphCommands::removeRelation(PendingRelationDelete pending)
{
    const LinkItem* sourceItem = m_content.nodeItem(pending.sourceID);
    const LinkItem* targetItem = m_content.nodeItem(pending.targetID);
    if (!sourceItem || !targetItem) {
        // The two have left the graph since the request: show the graph as it now is.
        m_loader.reload();
        co_return;
    }
    const LinkItem source = *sourceItem;
    const LinkItem target = *targetItem;
    QCoro::Task<bool> removing = changeStore(m_store.removeRelation(source.id, target.id));
    const bool removed = co_await removing;
    if (!removed)
        co_return;
    m_loader.reload(
        QStringLiteral("Removed relation between “%1” and “%2”.").arg(source.title, target.title));
}

// --- Making relations --------------------------------------------------------------------------------

void GraphCommands::createRelation(const QUuid& targetNodeID)
{
    const std::optional<QUuid> sourceID = m_selection.linkingSourceNodeID();
    if (!sourceID)
        return;
    if (*sourceID == targetNodeID) {
        setMessage(sameNodeText());
        return;
    }
    const LinkItem* source = m_content.nodeItem(*sourceID);
    const LinkItem* target = m_content.nodeItem(targetNodeID);
    m_selection.setLinkingSourceNodeID(std::nullopt);
    if (!source || !target) {
        setMessage(QStringLiteral("Unable to create relation for missing graph nodes."));
        return;
    }
    m_layout.stopGliding();
    relate(*source, *target, true);
}

void GraphCommands::createRelation(const LinkItem& source, const LinkItem& target)
{
    if (source.id == target.id) {
        setMessage(sameNodeText());
        return;
    }
    relate(source, target, false);
}

void GraphCommands::acceptSuggestedRelation(const QUuid& targetNodeID)
{
    const std::optional<QUuid> selected = m_selection.selectedNodeID();
    const LinkItem* source = selected ? m_content.anyItem(*selected) : nullptr;
    const LinkItem* target = m_content.anyItem(targetNodeID);
    if (!source || !target) {
        setMessage(QStringLiteral("Select a node with a suggested relation."));
        return;
    }
    createRelation(*source, *target);
}

// The new edge is drawn in place rather than by a load.
QCoro::Task<> GraphCommands::relate(LinkItem source, LinkItem target, bool fromClick)
{
    QCoro::Task<bool> relating = changeStore(m_store.addRelation(source.id, target.id));
    const bool related = co_await relating;
    if (!related)
        co_return;
    if (m_content.addRelationEdge(source.id, target.id))
        m_layout.nodesJoined(source.id, target.id);
    if (!fromClick || m_selection.selectedNodeID() != source.id)
        m_navigation.centerOnNode(source.id, false);
    setMessage(QStringLiteral("Linked “%1” to “%2”.").arg(source.title, target.title));
}

// --- Published fields ----------------------------------------------------------------------------------

void GraphCommands::setPendingDeleteItem(std::optional<LinkItem> item)
{
    m_pendingDeleteItem = std::move(item);
    emit pendingDeleteItemChanged();
}

void GraphCommands::setPendingRelationDelete(std::optional<PendingRelationDelete> pending)
{
    m_pendingRelationDelete = std::move(pending);
    emit pendingRelationDeleteChanged();
}

} // namespace morvane
