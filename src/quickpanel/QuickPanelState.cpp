#include "QuickPanelState.h"

#include "AssignChanged.h"
#include "store/RelationService.h"

#include <QCoroFuture>
#include <QPointer>

#include <algorithm>

namespace morvane {

QuickPanelState::QuickPanelState(RelationService& relations, QObject* parent)
    : QObject(parent)
    , m_relations(relations)
{
}

std::optional<PanelResult> QuickPanelState::selectedResult() const
{
    if (m_selectedIndex < 0 || m_selectedIndex >= m_results.size())
        return std::nullopt;
    return m_results.at(m_selectedIndex);
}

std::optional<LinkItem> QuickPanelState::selectedLink() const
{
    const std::optional<PanelResult> selected = selectedResult();
    return selected ? selected->linkItem() : std::nullopt;
}

void QuickPanelState::moveSelection(qint64 delta)
{
    if (m_results.isEmpty())
        return;
    setSelectedIndex(std::clamp<qint64>(m_selectedIndex + delta, 0, m_results.size() - 1));
    refreshLinkedItems();
}

void QuickPanelState::selectResult(qint64 index)
{
    if (index < 0 || index >= m_results.size() || index == m_selectedIndex)
        return;
    setSelectedIndex(index);
    refreshLinkedItems();
}

void QuickPanelState::refreshLinkedItems()
{
    const std::optional<LinkItem> link = selectedLink();
    if (!link) {
        setLinkedItems({});
        return;
    }
    loadLinkedItems(link->id, ++m_linkedGeneration);
}

QCoro::Task<> QuickPanelState::loadLinkedItems(QUuid id, quint64 generation)
{
    const QPointer<QuickPanelState> self(this);
    QList<LinkItem> related;
    try {
        QFuture<QList<LinkItem>> loading = m_relations.linkedItems(id);
        related = co_await loading;
    } catch (...) {
        // The list of related links is a hint; a failed load shows none.
    }
    // A newer load, or a list written since, is what the selection shows now.
    if (self && generation == m_linkedGeneration)
        setLinkedItems(std::move(related));
}

void QuickPanelState::setResults(QList<PanelResult> results)
{
    if (assignChanged(m_results, std::move(results)))
        emit resultsChanged();
}

void QuickPanelState::setLinkedItems(QList<LinkItem> items)
{
    // A list written now is newer than any load still on its way.
    ++m_linkedGeneration;
    if (assignChanged(m_linkedItems, std::move(items)))
        emit linkedItemsChanged();
}

void QuickPanelState::setSelectedIndex(qint64 index)
{
    if (assignChanged(m_selectedIndex, index))
        emit selectedIndexChanged();
}

void QuickPanelState::clampSelection()
{
    setSelectedIndex(std::min(m_selectedIndex, std::max<qint64>(m_results.size() - 1, 0)));
}

void QuickPanelState::setMode(Mode mode)
{
    if (assignChanged(m_mode, std::move(mode)))
        emit modeChanged();
}

void QuickPanelState::setMessage(const QString& message)
{
    if (assignChanged(m_message, message))
        emit messageChanged();
}

void QuickPanelState::setAwaitingSoloCaptureDismiss(bool awaiting)
{
    if (assignChanged(m_awaitingSoloCaptureDismiss, awaiting))
        emit awaitingSoloCaptureDismissChanged();
}

void QuickPanelState::showLinkWithRelated(const LinkItem& item, QList<LinkItem> related)
{
    QList<PanelResult> rows{PanelResult::link(item)};
    rows.append(PanelResult::links(related));
    setResults(std::move(rows));
    setLinkedItems(std::move(related));
    setSelectedIndex(0);
}

} // namespace morvane
