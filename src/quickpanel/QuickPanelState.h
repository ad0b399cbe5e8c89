#pragma once

#include "PanelResult.h"
#include "QuickPanelMode.h"
#include "model/LinkItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <optional>

namespace morvane {

class RelationService;

// What the quick panel shows: the rows, the selected one with the links related to it, the mode, the
// status message and the closing Enter after a solo capture. The panel's other parts write it; the
// views read it and move the selection. Main thread only.
//
// Related links load in tasks numbered as they start; a load that ends after a newer one started,
// or after a list was written, writes nothing.
class QuickPanelState : public QObject {
    Q_OBJECT
public:
    using Mode = QuickPanelMode;

    explicit QuickPanelState(RelationService& relations, QObject* parent = nullptr);

    // Each change is announced by the signal of the same name.
    const QList<PanelResult>& results() const { return m_results; }
    const QList<LinkItem>& linkedItems() const { return m_linkedItems; }
    qint64 selectedIndex() const { return m_selectedIndex; }
    const Mode& mode() const { return m_mode; }
    const QString& message() const { return m_message; }
    bool awaitingSoloCaptureDismiss() const { return m_awaitingSoloCaptureDismiss; }

    // The row at selectedIndex, none when the index is out of range.
    std::optional<PanelResult> selectedResult() const;
    // The saved link of the selected row (a file match's too), none for a row without one.
    std::optional<LinkItem> selectedLink() const;

    // Moves by delta rows, no wrap, then reloads the selected link's related links.
    void moveSelection(qint64 delta);
    // Selects the row; an index out of range or the current one changes nothing.
    void selectResult(qint64 index);
    // The links related to the selected row's link; at once empty for a row without one.
    void refreshLinkedItems();

    // For the panel's parts. A signal fires on a real change only.
    void setResults(QList<PanelResult> results);
    void setLinkedItems(QList<LinkItem> items);
    void setSelectedIndex(qint64 index);
    // Keeps the selection on the last row when the list got shorter.
    void clampSelection();
    void setMode(Mode mode);
    void setMessage(const QString& message);
    void setAwaitingSoloCaptureDismiss(bool awaiting);
    // A link first, the links related to it after it, the first row selected.
    void showLinkWithRelated(const LinkItem& item, QList<LinkItem> related);

signals:
    void resultsChanged();
    void linkedItemsChanged();
    void selectedIndexChanged();
    void modeChanged();
    void messageChanged();
    void awaitingSoloCaptureDismissChanged();

private:
    QCoro::Task<> loadLinkedItems(QUuid id, quint64 generation);

    RelationService& m_relations;
    QList<PanelResult> m_results;
    QList<LinkItem> m_linkedItems;
    qint64 m_selectedIndex = 0;
    Mode m_mode;
    QString m_message;
    bool m_awaitingSoloCaptureDismiss = false;
    quint64 m_linkedGeneration = 0;
};

} // namespace morvane
