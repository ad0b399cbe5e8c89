#pragma once

#include "QuickPanelServices.h"
#include "model/LinkType.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroTask>

namespace morvane {

class QuickPanelContext;
class QuickPanelState;

// How the quick panel fills its list: for an empty query in search mode, the item in front of the
// user with what is related to it; else the library search followed by matching events and cards.
// It owns the query. Main thread only.
//
// Tasks that fill the list (this part's and the commands') are numbered as they start, and one that
// ends after a newer one has started writes nothing more, so a slow search never overwrites the
// answer to a later keystroke.
class QuickPanelSearch : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this.
    QuickPanelSearch(QuickPanelState& state, const QuickPanelContext& context,
                     const QuickPanelServices& services, QObject* parent = nullptr);

    const QString& query() const { return m_query; }
    // The search field's binding, also written by the commands. Every change of the query is followed
    // by one reload, on the next turn of the event loop, unless its writer has started a list of its
    // own by then (showing the panel, saving the form, starting a relation), which the reload would
    // only repeat.
    void setQuery(const QString& query);
    // The hint under an empty list. Clearing the search is offered only while there is a search to
    // clear: with an empty one the list already shows what is in front, and the message line says
    // why nothing is.
    QString emptyStateHint() const;

    // Fire and forget; errors become the message.
    void reload();
    QCoro::Task<> reloadTask();
    // The list again after the link `id` was deleted, in the mode the panel is in; throws what the
    // library threw.
    QCoro::Task<> reloadAfterDeleting(QUuid id);

    // How many list changes have started so far.
    quint64 listGeneration() const { return m_listGeneration; }
    // A new number for a task that fills the list; older ones stop writing from now on. A writer
    // other than the reload settles the typed query's list by replacing it.
    quint64 beginListChange()
    {
        m_listSettling = false;
        return ++m_listGeneration;
    }
    bool isCurrentList(quint64 generation) const { return generation == m_listGeneration; }
    // True from a change of the query until the list for it is in. A key that acts on the selection,
    // typed straight after the query, waits for listSettled(), so it acts on the rows of what was
    // typed, not on the rows before.
    bool isListSettling() const { return m_listSettling; }
    // Waits for listSettled() while the list is settling (at once otherwise); a list that never comes
    // ends the wait after a bound.
    QCoro::Task<> untilListSettled();

    // The word the status texts use for the kind of a captured item ("page", "message", ...).
    static QString kindWord(LinkType type);

signals:
    void queryChanged();
    void listSettled();

private:
    // Reload steps; they throw what the library threw, and stop writing once a newer list change
    // has started.
    QCoro::Task<> loadActiveContextResults(quint64 generation);
    QCoro::Task<> performSearch(quint64 generation);
    // The text, or none once the user dismissed the tip it belongs to.
    QString tipped(const QString& tipID, const QString& text) const;

    QuickPanelState& m_state;
    const QuickPanelContext& m_context;
    LinkStore& m_store;
    SearchService& m_searchService;
    RelationService& m_relations;
    QuickPanelTipStore& m_tips;
    std::shared_ptr<Clock> m_clock;
    QuickPanelServices::LinkSearch m_linkSearch;

    QString m_query;
    quint64 m_listGeneration = 0;
    bool m_listSettling = false;
};

} // namespace morvane
