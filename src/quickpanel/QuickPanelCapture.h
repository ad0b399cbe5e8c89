#pragma once

#include "QuickPanelServices.h"
#include "files/FileMatchCandidate.h"
#include "model/CapturedContext.h"

#include <QFuture>
#include <QObject>

#include <QCoroTask>

namespace morvane {

class QuickPanelContext;
class QuickPanelSearch;
class QuickPanelState;

// Saves what is in front of the user: a capture row becomes a link, or a file-match row records the
// file as this machine's copy of a saved link. The panel then offers to link the new item to another
// one, or waits for the closing Enter when the library holds nothing else. Main thread only.
class QuickPanelCapture : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this.
    QuickPanelCapture(QuickPanelState& state, QuickPanelSearch& search, QuickPanelContext& context,
                      const QuickPanelServices& services, QObject* parent = nullptr);

    // Both answer true: the panel stays open, for the next step or for the error shown.
    QCoro::Task<bool> saveContext(CapturedContext context);
    QCoro::Task<bool> confirmFileMatch(FileMatchCandidate candidate);

    // Enter while the window in front is still being read: waits for the reading (within its bound,
    // never blocking) and saves the capture row it brings, if the user has not moved on meanwhile:
    // the query still empty, still in search mode, no other key since. Otherwise nothing is done and,
    // when the reading brought nothing to show, the message says so. True: the panel stays open.
    QCoro::Task<bool> saveWhenRead();
    // Every key the panel takes, before it acts on it.
    void noteKeyPress() { ++m_keyPresses; }

private:
    // How many readings in a row an Enter kept for the window waits for.
    static constexpr int maxReadingsWaitedFor = 3;
    // Waits for the link a capture or a file match writes, then shows it with what can be linked to it.
    QCoro::Task<bool> finishCapture(QFuture<LinkItem> saving);
    void showSoloCaptureDismiss(const LinkItem& saved);
    // The text of a step, or its short form once the user dismissed the tip it belongs to.
    QString tipOr(const QString& tipID, const QString& text, const QString& shortText) const;

    QuickPanelState& m_state;
    QuickPanelSearch& m_search;
    QuickPanelContext& m_context;
    LinkStore& m_store;
    QuickPanelTipStore& m_tips;
    QuickPanelServices::LinkSearch m_linkSearch;
    quint64 m_keyPresses = 0;
};

} // namespace morvane
