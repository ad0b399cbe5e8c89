#pragma once

#include "PanelResult.h"
#include "QuickPanelServices.h"
#include "services/PreferenceValues.h"

#include <QFuture>
#include <QObject>

#include <QCoroTask>

#include <memory>
#include <optional>

namespace morvane {

class QuickPanelCapture;
class QuickPanelContext;
class QuickPanelSearch;
class QuickPanelState;

// The commands on the selected row: open (or save what is in front), relate, show backlinks, remove
// a relation, delete, copy; removing and deleting wait for a confirmation. Each command reads the
// selection once, when it starts, and works on its own copy of the link from then on. Main thread
// only; the library is written in tasks that write their results when they end.
class QuickPanelCommands : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this.
    QuickPanelCommands(QuickPanelState& state, QuickPanelSearch& search, QuickPanelContext& context,
                       QuickPanelCapture& capture, const QuickPanelServices& services,
                       QObject* parent = nullptr);

    // The two confirmations waiting for an answer; each change is announced by the signal of the
    // same name.
    const std::optional<LinkItem>& pendingDeleteItem() const { return m_pendingDeleteItem; }
    const std::optional<PendingRelationDelete>& pendingRelationDelete() const
    {
        return m_pendingRelationDelete;
    }

    // Enter in search or backlinks mode: opens a link row (false: the panel closes), saves a capture
    // row or confirms a file-match row (true: the panel stays). After a solo capture it only ends
    // that state and answers false.
    QCoro::Task<bool> activateSelection();
    // Enter in relation mode: relates the mode's link to the selected one; true when it did (the
    // panel then closes).
    QCoro::Task<bool> completeRelation();
    void beginRelation();
    void showBacklinks();

    // The link a relation removal starts from: the backlinks mode's link, or in search mode the
    // first row's link while the list shows related links.
    std::optional<LinkItem> relationBaseItem() const;
    bool canRemoveRelation() const;
    void requestRemoveRelation();
    void confirmRemoveRelation();
    void cancelRemoveRelation();

    void requestDelete();
    void confirmDelete();
    void cancelDelete();

    void copySelected(CopyFormat format);

signals:
    void pendingDeleteItemChanged();
    void pendingRelationDeleteChanged();

private:
    void setPendingDeleteItem(std::optional<LinkItem> item);
    void setPendingRelationDelete(std::optional<PendingRelationDelete> pending);

    QCoro::Task<> openLink(LinkItem item);
    // Search mode with the link first and its related links after it; throws what the load threw.
    QCoro::Task<> showLinkedItems(LinkItem item, QString text);
    QCoro::Task<> loadBacklinks(LinkItem base, quint64 generation);
    QCoro::Task<> removeRelation(PendingRelationDelete pending);
    QCoro::Task<> deleteLink(LinkItem item);
    void announceChange();
    // Waits for a change to the library and announces it. False when it failed (its message is shown) or
    // when the panel has gone meanwhile: the caller then stops without touching it.
    QCoro::Task<bool> writeAndAnnounce(QFuture<void> change);

    QuickPanelState& m_state;
    QuickPanelSearch& m_search;
    QuickPanelContext& m_context;
    QuickPanelCapture& m_capture;
    LinkStore& m_store;
    RelationService& m_relations;
    PasteboardService* m_pasteboard;
    std::shared_ptr<ItemOpening> m_opening;

    std::optional<LinkItem> m_pendingDeleteItem;
    std::optional<PendingRelationDelete> m_pendingRelationDelete;
};

} // namespace morvane
