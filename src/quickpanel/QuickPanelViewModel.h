#pragma once

#include "PanelResult.h"
#include "QuickPanelMode.h"
#include "foundation/Clock.h"
#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "services/AppSettings.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroFuture>
#include <QCoroTask>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class ActiveContextService;
class ItemOpening;
class LinkStore;
class PasteboardService;
class QuickPanelTipStore;
class RelationService;
class SearchService;

// What the quick panel works with. Every service outlives the model; preferences may be absent
// (the model itself never reads them: the view takes the copy format from there).
struct QuickPanelServices {
    // The library search (at most 200 links, the recent ones for a blank query); the search
    // service's own when none is given.
    using LinkSearch = std::function<QFuture<QList<LinkItem>>(const QString&)>;

    LinkStore* store = nullptr;
    SearchService* searchService = nullptr;
    RelationService* relationService = nullptr;
    std::shared_ptr<ItemOpening> opening; // opens a link and records the open
    PasteboardService* pasteboard = nullptr;
    AppSettings* preferences = nullptr;
    ActiveContextService* activeContextService = nullptr;
    QuickPanelTipStore* tipStore = nullptr;
    std::shared_ptr<Clock> clock; // the system clock when none is given
    LinkSearch linkSearch;
};

// The one state object of the quick panel: the query, the rows, the links related to the selected
// row, the selection, the mode, the status message, the add form's fields and the two pending
// confirmations, with every operation the panel's keys, menus and views call. Main thread only.
//
// Operations are synchronous; work on the library runs in tasks on the main thread that write their
// results when they end. Tasks that fill the list are numbered as they start, and one that ends
// after a newer one has started writes nothing more, so a slow search never overwrites the answer
// to a later keystroke; linked-item loads are numbered the same way. Commands read the selection
// once, when they start.
class QuickPanelViewModel : public QObject {
    Q_OBJECT
public:
    using Mode = QuickPanelMode;
    using PanelResult = morvane::PanelResult;
    using PendingRelationDelete = morvane::PendingRelationDelete;

    explicit QuickPanelViewModel(QuickPanelServices services, QObject* parent = nullptr);
    ~QuickPanelViewModel() override;

    // --- Published state (each change is announced by the signal of the same name) ---------------
    const QString& query() const { return m_query; }
    const QList<PanelResult>& results() const { return m_results; }
    const QList<LinkItem>& linkedItems() const { return m_linkedItems; }
    qint64 selectedIndex() const { return m_selectedIndex; }
    const Mode& mode() const { return m_mode; }
    const QString& addTitle() const { return m_addTitle; }
    const QString& addLocator() const { return m_addLocator; }
    const QString& addNotes() const { return m_addNotes; }
    const QString& addTags() const { return m_addTags; }
    const QString& message() const { return m_message; }
    const std::optional<LinkItem>& pendingDeleteItem() const { return m_pendingDeleteItem; }
    const std::optional<PendingRelationDelete>& pendingRelationDelete() const
    {
        return m_pendingRelationDelete;
    }
    bool awaitingSoloCaptureDismiss() const { return m_awaitingSoloCaptureDismiss; }
    // True while the add form's save runs; a second save meanwhile is ignored.
    bool isSavingAddForm() const { return m_savingAddForm; }

    // The view's bindings. Writing them starts nothing: the view reloads after a query change.
    void setQuery(const QString& query);
    void setAddTitle(const QString& text);
    void setAddLocator(const QString& text);
    void setAddNotes(const QString& text);
    void setAddTags(const QString& text);

    // What the last context capture found; the empty-query list is built from it.
    const QList<CapturedContext>& activeContexts() const { return m_activeContexts; }
    const std::optional<QString>& activeContextMessage() const { return m_activeContextMessage; }

    AppSettings* preferences() const { return m_services.preferences; }

    // How many list changes have started so far. A view that reloads after a write can tell from it
    // whether the writer has reloaded meanwhile.
    quint64 listGeneration() const { return m_listGeneration; }
    // True from a change of the query until the list for it is in. A key that acts on the selection,
    // typed straight after the query, waits for listSettled(), so it acts on the rows of what was
    // typed, not on the rows before.
    bool isListSettling() const { return m_listSettling; }
    // Waits for listSettled() while the list is settling (at once otherwise); a list that never comes
    // ends the wait after a bound.
    QCoro::Task<> untilListSettled();

    // --- Derived ---------------------------------------------------------------------------------
    // The row at selectedIndex, none when the index is out of range.
    std::optional<PanelResult> selectedResult() const;
    // The link a relation removal starts from: the backlinks mode's link, or in search mode the
    // first row's link while the list shows related links.
    std::optional<LinkItem> relationBaseItem() const;
    // The hint under an empty list. Clearing the search is offered only while there is a search to
    // clear: with an empty one the list already shows what is in front, and the message line says
    // why nothing is.
    QString emptyStateHint() const;
    // The instruction banner the message belongs to, if any.
    std::optional<QString> currentTipID() const;
    bool showsTipBanner() const;
    // Dismisses the current tip for good; the message stays, the banner goes (tipsChanged()).
    void dismissCurrentTip();

    // --- A showing of the panel ------------------------------------------------------------------
    // When the panel hides (and the add form's Cancel): back to search mode, then a reload.
    void reset();
    // When the panel shows: in search mode, captures what is in front of the user, clears the query
    // and reloads; in any other mode nothing.
    void refreshActiveContext();
    // Once a second while the panel shows: with an empty query in search mode, captures again and
    // reloads when the contexts' locators or the capture message changed.
    void refreshIfContextChanged();

    // --- Selection -------------------------------------------------------------------------------
    // Moves by delta rows, no wrap, then reloads the selected link's related links.
    void moveSelection(qint64 delta);
    // Selects the row; an index out of range or the current one changes nothing.
    void selectResult(qint64 index);
    // The links related to the selected row's link; at once empty for a row without one.
    void refreshLinkedItems();
    // Shows the add form with empty fields and no message.
    void beginAdd();

    // --- Reloading (fire and forget; errors become the message) -------------------------------------
    void reload();
    QCoro::Task<> reloadTask();

    // --- Commands ----------------------------------------------------------------------------------
    // Enter in search or backlinks mode: opens a link row (false: the panel closes), saves a capture
    // row or confirms a file-match row (true: the panel stays). After a solo capture it only ends
    // that state and answers false.
    QCoro::Task<bool> activateSelection();
    // Enter in relation mode: relates the mode's link to the selected one; true when it did (the
    // panel then closes).
    QCoro::Task<bool> completeRelation();
    void beginRelation();
    void showBacklinks();
    bool canRemoveRelation() const;
    void requestRemoveRelation();
    void confirmRemoveRelation();
    void cancelRemoveRelation();
    void requestDelete();
    void confirmDelete();
    void cancelDelete();
    void copySelected(CopyFormat format);
    // The add form's Save: stores the typed link, then back to search mode with an empty query.
    void saveAddForm();

    // The tasks behind the fire-and-forget commands, for callers that wait (and tests).
    QCoro::Task<> saveAddFormTask();
    QCoro::Task<> deleteLink(LinkItem item);
    QCoro::Task<> removeRelation(PendingRelationDelete pending);

    // The word the status texts use for the kind of a captured item ("page", "message", ...).
    static QString kindWord(LinkType type);

signals:
    void queryChanged();
    void listSettled();
    void resultsChanged();
    void linkedItemsChanged();
    void selectedIndexChanged();
    void modeChanged();
    void addTitleChanged();
    void addLocatorChanged();
    void addNotesChanged();
    void addTagsChanged();
    void messageChanged();
    void pendingDeleteItemChanged();
    void pendingRelationDeleteChanged();
    void awaitingSoloCaptureDismissChanged();
    void savingAddFormChanged();
    // A tip was dismissed: the banner may go although no field changed.
    void tipsChanged();

private:
    void setResults(QList<PanelResult> results);
    void setLinkedItems(QList<LinkItem> items);
    void setSelectedIndex(qint64 index);
    void setMode(Mode mode);
    void setMessage(const QString& message);
    void setPendingDeleteItem(std::optional<LinkItem> item);
    void setPendingRelationDelete(std::optional<PendingRelationDelete> pending);
    void setAwaitingSoloCaptureDismiss(bool awaiting);
    void clampSelection();
    void captureContextsNow();
    // A new number for a task that fills the list; older ones stop writing from now on.
    // A writer other than the reload settles the typed query's list by replacing it.
    quint64 beginListChange()
    {
        m_listSettling = false;
        return ++m_listGeneration;
    }
    bool isCurrentList(quint64 generation) const { return generation == m_listGeneration; }
    QCoro::Task<> loadLinkedItems(QUuid id, quint64 generation);

    // Reload steps; they throw what the library threw, and stop writing once a newer list change
    // has started.
    QCoro::Task<> loadActiveContextResults(quint64 generation);
    QCoro::Task<> performSearch(quint64 generation);
    QCoro::Task<> reloadAfterDeleting(QUuid id);
    QString tipped(const QString& tipID, const QString& text) const;

    // Capture flow
    QCoro::Task<bool> saveCapturedContext(CapturedContext context);
    QCoro::Task<bool> confirmFileMatch(FileMatchCandidate candidate);
    // Waits for the link a capture or a file match writes, then shows it with what can be linked to it.
    QCoro::Task<bool> finishCapture(QFuture<LinkItem> saving);
    void showSoloCaptureDismiss(const LinkItem& saved);

    // Commands
    QCoro::Task<> openLink(LinkItem item);
    // Search mode with the link first and its related links after it; throws what the load threw.
    QCoro::Task<> showLinkedItems(LinkItem item, QString text);
    QCoro::Task<> loadBacklinks(LinkItem base, quint64 generation);
    void announceChange();
    // Waits for a change to the library and announces it. False when it failed (its message is shown) or
    // when the model has gone meanwhile: the caller then stops without touching it.
    QCoro::Task<bool> writeAndAnnounce(QFuture<void> change);

    // Published
    QString m_query;
    QList<PanelResult> m_results;
    QList<LinkItem> m_linkedItems;
    qint64 m_selectedIndex = 0;
    Mode m_mode;
    QString m_addTitle;
    QString m_addLocator;
    QString m_addNotes;
    QString m_addTags;
    QString m_message;
    std::optional<LinkItem> m_pendingDeleteItem;
    std::optional<PendingRelationDelete> m_pendingRelationDelete;
    bool m_awaitingSoloCaptureDismiss = false;
    bool m_savingAddForm = false;

    QuickPanelServices m_services;
    QList<CapturedContext> m_activeContexts;
    std::optional<QString> m_activeContextMessage;

    quint64 m_listGeneration = 0;
    bool m_listSettling = false;
    quint64 m_linkedGeneration = 0;
};

} // namespace morvane
