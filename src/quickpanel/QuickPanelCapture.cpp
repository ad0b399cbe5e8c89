// What Enter does on an item that is not saved yet (or on a saved file that may be the selected
// one): the library is written, then the panel offers to link the new item to another one, or waits
// for the closing Enter when the library holds nothing else.

#include "QuickPanelCapture.h"

#include "QuickPanelContext.h"
#include "QuickPanelSearch.h"
#include "QuickPanelState.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "services/QuickPanelTipStore.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QPointer>

MORVANE_LOGGING_CATEGORY(lcPanelCapture, "QuickPanel")

namespace morvane {

namespace {

using Mode = QuickPanelMode;

QString addedText(const LinkItem& saved)
{
    return QStringLiteral("Added “%1”.").arg(saved.title);
}

} // namespace

QuickPanelCapture::QuickPanelCapture(QuickPanelState& state, QuickPanelSearch& search,
                                     QuickPanelContext& context, const QuickPanelServices& services,
                                     QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_search(search)
    , m_context(context)
    , m_store(*services.store)
    , m_tips(*services.tipStore)
    , m_linkSearch(services.linkSearch)
{
}

QCoro::Task<bool> QuickPanelCapture::saveContext(CapturedContext context)
{
    return finishCapture(m_store.addCapturedContext(std::move(context), QString(), QString()));
}

QCoro::Task<bool> QuickPanelCapture::confirmFileMatch(FileMatchCandidate candidate)
{
    // Records the selected file as this machine's copy of the saved link; no new link is made.
    return finishCapture(ContextLookups(m_store).useFileMatch(std::move(candidate)));
}

QCoro::Task<bool> QuickPanelCapture::saveWhenRead()
{
    const QPointer<QuickPanelCapture> self(this);
    const quint64 keyPresses = m_keyPresses;
    const QString name = m_context.reading().value_or(QString());
    const auto movedOn = [this] {
        return !m_search.query().trimmed().isEmpty() || !m_state.mode().is(Mode::Kind::search);
    };
    // The window may be read again before the list has followed a reading (what it shows changed
    // once more): the Enter waits for that reading too, a few times at most.
    int readings = 0;
    do {
        if (m_context.reading()) {
            // The context ends its reading within its bound; the margin only guards against a lost
            // signal.
            co_await qCoro(&m_context, &QuickPanelContext::readingEnded,
                           QuickPanelContext::readingBound + std::chrono::milliseconds(500));
            if (!self)
                co_return true;
        }
        if (movedOn()) {
            qCDebug(lcPanelCapture) << "The kept Enter is dropped: the panel moved on";
            co_return true; // the list shows something else now
        }
        // The reading's end reloads the list of the empty query.
        QCoro::Task<> settling = m_search.untilListSettled();
        co_await settling;
        if (!self || movedOn())
            co_return true;
    } while (m_context.reading() && ++readings < maxReadingsWaitedFor);
    const std::optional<PanelResult> selected = m_state.selectedResult();
    if (!selected) {
        qCDebug(lcPanelCapture) << "The kept Enter is dropped: the reading brought nothing";
        if (!m_context.message())
            m_state.setMessage(QuickPanelContext::nothingReadMessage(name));
        co_return true;
    }
    if (keyPresses != m_keyPresses || selected->kind() != PanelResult::Kind::capture) {
        qCDebug(lcPanelCapture) << "The kept Enter is dropped: another key came, or the row is no capture";
        co_return true;
    }
    qCDebug(lcPanelCapture) << "The kept Enter saves what the reading brought";
    QCoro::Task<bool> saving = saveContext(*selected->context());
    co_return co_await saving;
}

QString QuickPanelCapture::tipOr(const QString& tipID, const QString& text, const QString& shortText) const
{
    return m_tips.isDismissed(tipID) ? shortText : text;
}

QCoro::Task<bool> QuickPanelCapture::finishCapture(QFuture<LinkItem> saving)
{
    const QPointer<QuickPanelCapture> self(this);
    std::optional<LinkItem> written;
    QList<LinkItem> recent;
    try {
        written = co_await saving;
        if (!self)
            co_return true;
        QFuture<QList<LinkItem>> searching = m_linkSearch(QString());
        recent = co_await searching;
    } catch (...) {
        if (self)
            m_state.setMessage(describeError(std::current_exception()));
        co_return true;
    }
    if (!self)
        co_return true;
    const LinkItem saved = std::move(*written);
    QList<PanelResult> others;
    for (const LinkItem& item : recent) {
        if (item.id != saved.id)
            others.append(PanelResult::link(item));
    }
    // A list still loading from before the save is older than what the save shows.
    m_search.beginListChange();
    if (others.isEmpty()) {
        showSoloCaptureDismiss(saved);
        co_return true;
    }
    m_state.setAwaitingSoloCaptureDismiss(false);
    m_state.setMode(Mode::chooseRelationSource(saved));
    m_search.setQuery(QString());
    m_state.setLinkedItems({});
    m_state.setSelectedIndex(0);
    m_state.setResults(std::move(others));
    m_state.setMessage(tipOr(
        QStringLiteral("capture.linkAfter"),
        QStringLiteral("Added “%1”. Select another item to link to, then press Enter.").arg(saved.title),
        addedText(saved)));
    co_return true;
}

void QuickPanelCapture::showSoloCaptureDismiss(const LinkItem& saved)
{
    m_state.setMode(Mode::search());
    m_search.setQuery(QString());
    m_context.capture();
    m_state.setResults({PanelResult::link(saved)});
    m_state.setLinkedItems({});
    m_state.setSelectedIndex(0);
    m_state.setAwaitingSoloCaptureDismiss(true);
    m_state.setMessage(tipOr(QStringLiteral("capture.soloDismiss"),
                             QStringLiteral("Added “%1”. Press Enter or Esc to close.").arg(saved.title),
                             addedText(saved)));
}

} // namespace morvane
