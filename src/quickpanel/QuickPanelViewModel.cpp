#include "QuickPanelViewModel.h"

#include "capture/ActiveContextService.h"
#include "foundation/Error.h"
#include "foundation/KeyText.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/RelationService.h"

#include <QPointer>

#include <algorithm>

namespace morvane {

QuickPanelViewModel::QuickPanelViewModel(QuickPanelServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    if (!m_services.clock)
        m_services.clock = SystemClock::shared();
    if (!m_services.linkSearch) {
        SearchService* search = m_services.searchService;
        m_services.linkSearch = [search](const QString& query) { return search->searchLinks(query); };
    }
}

QuickPanelViewModel::~QuickPanelViewModel() = default;

// --- Published fields --------------------------------------------------------------------------------

namespace {

// Writes the value and tells whether it changed, so that every signal fires on a real change only.
template <class T> bool assign(T& field, T value)
{
    if (field == value)
        return false;
    field = std::move(value);
    return true;
}

} // namespace

void QuickPanelViewModel::setQuery(const QString& query)
{
    if (assign(m_query, query)) {
        m_listSettling = true;
        emit queryChanged();
    }
}

void QuickPanelViewModel::setAddTitle(const QString& text)
{
    if (assign(m_addTitle, text))
        emit addTitleChanged();
}

void QuickPanelViewModel::setAddLocator(const QString& text)
{
    if (assign(m_addLocator, text))
        emit addLocatorChanged();
}

void QuickPanelViewModel::setAddNotes(const QString& text)
{
    if (assign(m_addNotes, text))
        emit addNotesChanged();
}

void QuickPanelViewModel::setAddTags(const QString& text)
{
    if (assign(m_addTags, text))
        emit addTagsChanged();
}

void QuickPanelViewModel::setResults(QList<PanelResult> results)
{
    if (assign(m_results, std::move(results)))
        emit resultsChanged();
}

void QuickPanelViewModel::setLinkedItems(QList<LinkItem> items)
{
    // A list written now is newer than any load still on its way.
    ++m_linkedGeneration;
    if (assign(m_linkedItems, std::move(items)))
        emit linkedItemsChanged();
}

void QuickPanelViewModel::setSelectedIndex(qint64 index)
{
    if (assign(m_selectedIndex, index))
        emit selectedIndexChanged();
}

void QuickPanelViewModel::setMode(Mode mode)
{
    if (assign(m_mode, std::move(mode)))
        emit modeChanged();
}

void QuickPanelViewModel::setMessage(const QString& message)
{
    if (assign(m_message, message))
        emit messageChanged();
}

void QuickPanelViewModel::setPendingDeleteItem(std::optional<LinkItem> item)
{
    if (assign(m_pendingDeleteItem, std::move(item)))
        emit pendingDeleteItemChanged();
}

void QuickPanelViewModel::setPendingRelationDelete(std::optional<PendingRelationDelete> pending)
{
    if (assign(m_pendingRelationDelete, std::move(pending)))
        emit pendingRelationDeleteChanged();
}

void QuickPanelViewModel::setAwaitingSoloCaptureDismiss(bool awaiting)
{
    if (assign(m_awaitingSoloCaptureDismiss, awaiting))
        emit awaitingSoloCaptureDismissChanged();
}

void QuickPanelViewModel::clampSelection()
{
    setSelectedIndex(std::min(m_selectedIndex, std::max<qint64>(m_results.size() - 1, 0)));
}

void QuickPanelViewModel::captureContextsNow()
{
    // Providers that read over a bus answer from their last reading; the next second's check has this one's.
    m_services.activeContextService->refreshInBackground();
    CaptureResult captured = m_services.activeContextService->captureContexts();
    m_activeContexts = std::move(captured.contexts);
    m_activeContextMessage = std::move(captured.message);
}

// --- Derived -------------------------------------------------------------------------------------------

std::optional<PanelResult> QuickPanelViewModel::selectedResult() const
{
    if (m_selectedIndex < 0 || m_selectedIndex >= m_results.size())
        return std::nullopt;
    return m_results.at(m_selectedIndex);
}

std::optional<LinkItem> QuickPanelViewModel::relationBaseItem() const
{
    if (const LinkItem* base = m_mode.is(Mode::Kind::backlinks) ? m_mode.link() : nullptr)
        return *base;
    if (m_mode.is(Mode::Kind::search) && !m_linkedItems.isEmpty() && !m_results.isEmpty())
        return m_results.first().linkItem();
    return std::nullopt;
}

std::optional<QString> QuickPanelViewModel::currentTipID() const
{
    if (m_awaitingSoloCaptureDismiss)
        return QStringLiteral("capture.soloDismiss");
    if (!m_mode.is(Mode::Kind::search))
        return std::nullopt;
    const auto has = [this](PanelResult::Kind kind) {
        return std::any_of(m_results.begin(), m_results.end(),
                           [kind](const PanelResult& row) { return row.kind() == kind; });
    };
    if (has(PanelResult::Kind::fileMatch))
        return QStringLiteral("fileMatch.prompt");
    const bool hasCapture = has(PanelResult::Kind::capture);
    if (!m_query.trimmed().isEmpty() && hasCapture && !has(PanelResult::Kind::link))
        return QStringLiteral("search.calendarCapture");
    if (!hasCapture || m_activeContexts.isEmpty())
        return std::nullopt;
    const QString token = QuickPanelTipStore::tipToken(m_activeContexts.first().sourceApp);
    if (m_activeContexts.size() >= 2)
        return QStringLiteral("capture.multiContext.") + token;
    return QStringLiteral("capture.newItem.") + token;
}

QString QuickPanelViewModel::emptyStateHint() const
{
    const QString newLink = keyCombinationText(KeyModifier::ctrl, QStringLiteral("N"));
    if (m_query.trimmed().isEmpty())
        return QStringLiteral("Press %1 to add a link.").arg(newLink);
    return QStringLiteral("Press %1 to add a link, or clear the search to use the current context.")
        .arg(newLink);
}

bool QuickPanelViewModel::showsTipBanner() const
{
    const std::optional<QString> tip = currentTipID();
    return tip && !m_message.isEmpty() && !m_services.tipStore->isDismissed(*tip);
}

void QuickPanelViewModel::dismissCurrentTip()
{
    const std::optional<QString> tip = currentTipID();
    if (!tip || m_services.tipStore->isDismissed(*tip))
        return;
    m_services.tipStore->dismiss(*tip);
    emit tipsChanged();
}

// --- A showing of the panel ----------------------------------------------------------------------------

void QuickPanelViewModel::reset()
{
    setAwaitingSoloCaptureDismiss(false);
    setMode(Mode::search());
    reload();
}

void QuickPanelViewModel::refreshActiveContext()
{
    if (!m_mode.is(Mode::Kind::search))
        return;
    setAwaitingSoloCaptureDismiss(false);
    captureContextsNow();
    setQuery(QString());
    reload();
}

void QuickPanelViewModel::refreshIfContextChanged()
{
    // While the user types, the application in front is not even asked.
    if (!m_query.trimmed().isEmpty() || !m_mode.is(Mode::Kind::search))
        return;
    m_services.activeContextService->refreshInBackground();
    CaptureResult captured = m_services.activeContextService->captureContexts();
    // Only the locators count: a title that changes under the same item is no new item.
    const bool sameContexts = std::equal(
        captured.contexts.begin(), captured.contexts.end(), m_activeContexts.begin(), m_activeContexts.end(),
        [](const CapturedContext& a, const CapturedContext& b) { return a.locator == b.locator; });
    if (sameContexts && captured.message == m_activeContextMessage)
        return;
    m_activeContexts = std::move(captured.contexts);
    m_activeContextMessage = std::move(captured.message);
    reload();
}

// --- Selection ---------------------------------------------------------------------------------------

void QuickPanelViewModel::moveSelection(qint64 delta)
{
    if (m_results.isEmpty())
        return;
    setSelectedIndex(std::clamp<qint64>(m_selectedIndex + delta, 0, m_results.size() - 1));
    refreshLinkedItems();
}

void QuickPanelViewModel::selectResult(qint64 index)
{
    if (index < 0 || index >= m_results.size() || index == m_selectedIndex)
        return;
    setSelectedIndex(index);
    refreshLinkedItems();
}

void QuickPanelViewModel::refreshLinkedItems()
{
    const std::optional<PanelResult> selected = selectedResult();
    const std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    if (!link) {
        setLinkedItems({});
        return;
    }
    loadLinkedItems(link->id, ++m_linkedGeneration);
}

QCoro::Task<> QuickPanelViewModel::loadLinkedItems(QUuid id, quint64 generation)
{
    const QPointer<QuickPanelViewModel> self(this);
    QList<LinkItem> related;
    try {
        QFuture<QList<LinkItem>> loading = m_services.relationService->linkedItems(id);
        related = co_await loading;
    } catch (...) {
        // The list of related links is a hint; a failed load shows none.
    }
    // A newer load, or a list written since, is what the selection shows now.
    if (self && generation == m_linkedGeneration)
        setLinkedItems(std::move(related));
}

void QuickPanelViewModel::beginAdd()
{
    setMode(Mode::add());
    setAddTitle({});
    setAddLocator({});
    setAddNotes({});
    setAddTags({});
    setMessage({});
}

} // namespace morvane
