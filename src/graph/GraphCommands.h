#pragma once

#include "model/LinkItem.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <memory>
#include <optional>

namespace morvane {

class GraphContent;
class GraphLayoutDriver;
class GraphLoader;
class GraphNavigation;
class GraphSelection;
class ItemOpening;
class LinkStore;

// The commands the Graph window's controls, keys and menus call: clicks and link mode, opening, the
// two-step deletions of a link and of a relation, and accepting a suggestion. Each checks its
// preconditions at once and reports an unmet one only on the status line; work on the library runs in
// tasks that end later on the main thread and report failures the same way.
class GraphCommands : public QObject {
    Q_OBJECT
public:
    struct PendingRelationDelete {
        QUuid sourceID;
        QUuid targetID;
        QString summary; // the two titles joined by " ↔ "
        bool operator==(const PendingRelationDelete&) const = default;
    };

    // The store and the graph's other parts outlive the commands.
    GraphCommands(LinkStore& store, std::shared_ptr<ItemOpening> opening, GraphContent& content,
                  GraphSelection& selection, GraphNavigation& navigation, GraphLayoutDriver& layout,
                  GraphLoader& loader, QObject* parent = nullptr);
    ~GraphCommands() override;

    // Ends keyboard navigation; completes link mode on the node when it is armed, else centres it.
    void handleNodeClick(const QUuid& id);
    // Arms link mode from the selected node: the next click on a node relates the two. The relation
    // is written in a task that then adds its edge to the shown graph in place, without a load.
    void beginLinkingFromSelection();
    void cancelLinking();
    // Relates the selected item to the target item, shown or not.
    void acceptSuggestedRelation(const QUuid& targetNodeID);

    void openSelected();
    // Opens the node's item without looking at or changing the selection, and records the open;
    // itemOpened() follows, whatever happened on the way.
    void openItem(const QUuid& nodeID);

    // Two steps: a request fills the pending field (the window shows its confirmation), confirming
    // clears it before the write starts, so a second confirmation does nothing. Each write announces
    // its change to the library, then loads the graph again with its message.
    const std::optional<LinkItem>& pendingDeleteItem() const { return m_pendingDeleteItem; }
    void requestDeleteSelected();
    void confirmDelete();
    void cancelDelete();
    const std::optional<PendingRelationDelete>& pendingRelationDelete() const
    {
        return m_pendingRelationDelete;
    }
    void requestRelationRemoval(const QUuid& targetNodeID);
    void confirmRelationDelete();
    void cancelRelationDelete();

    // The toolbar's reload: drops link mode, centring and keyboard navigation, then loads.
    void reloadGraph();

signals:
    void pendingDeleteItemChanged();
    void pendingRelationDeleteChanged();
    // After every attempt to open an item from the graph.
    void itemOpened();

private:
    // Completes link mode on the clicked node.
    void createRelation(const QUuid& targetNodeID);
    // Relates two items (a suggestion accepted): the same write and in-place edge as a click.
    void createRelation(const LinkItem& source, const LinkItem& target);
    QCoro::Task<> relate(LinkItem source, LinkItem target, bool fromClick);
    QCoro::Task<> removeRelation(PendingRelationDelete pending);
    QCoro::Task<> deleteItem(LinkItem item);
    QCoro::Task<> openItem(LinkItem item);
    QCoro::Task<bool> changeStore(QFuture<void> change);
    void setPendingDeleteItem(std::optional<LinkItem> item);
    void setPendingRelationDelete(std::optional<PendingRelationDelete> pending);
    void setMessage(const QString& message);

    LinkStore& m_store;
    std::shared_ptr<ItemOpening> m_opening;
    GraphContent& m_content;
    GraphSelection& m_selection;
    GraphNavigation& m_navigation;
    GraphLayoutDriver& m_layout;
    GraphLoader& m_loader;
    std::optional<LinkItem> m_pendingDeleteItem;
    std::optional<PendingRelationDelete> m_pendingRelationDelete;
};

} // namespace morvane
