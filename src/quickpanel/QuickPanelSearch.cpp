// How the quick panel fills its list: the item in front of the user for an empty query, else the
// library search with matching events and cards; and the list again after a deletion.

#include "QuickPanelSearch.h"

#include "AssignChanged.h"
#include "QuickPanelContext.h"
#include "QuickPanelState.h"
#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "foundation/Error.h"
#include "foundation/KeyText.h"
#include "foundation/Logging.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"
#include "store/RelationService.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QPointer>
#include <QTimer>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcQuickPanel, "QuickPanel")

namespace {

using Mode = QuickPanelMode;

QString activeLinkText(const CapturedContext& context)
{
    return QStringLiteral("Showing links for the active %1 %2.")
        .arg(context.sourceApp, QuickPanelSearch::kindWord(context.type));
}

QString captureText(const CapturedContext& context)
{
    return QStringLiteral("Press Enter to add this %1 %2. If other links exist, you can link it next, or "
                          "type to search.")
        .arg(context.sourceApp, QuickPanelSearch::kindWord(context.type));
}

} // namespace

QuickPanelSearch::QuickPanelSearch(QuickPanelState& state, const QuickPanelContext& context,
                                   const QuickPanelServices& services, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_context(context)
    , m_store(*services.store)
    , m_searchService(*services.searchService)
    , m_relations(*services.relationService)
    , m_tips(*services.tipStore)
    , m_clock(services.clock)
    , m_linkSearch(services.linkSearch)
{
}

void QuickPanelSearch::setQuery(const QString& query)
{
    if (!assignChanged(m_query, query))
        return;
    qCDebug(lcQuickPanel) << "Searching for" << privateValue(query);
    m_listSettling = true;
    emit queryChanged();
    QTimer::singleShot(0, this, [this, before = m_listGeneration] {
        if (isCurrentList(before))
            reload();
    });
}

QString QuickPanelSearch::emptyStateHint() const
{
    const QString newLink = keyCombinationText(KeyModifier::ctrl, QStringLiteral("N"));
    if (m_query.trimmed().isEmpty())
        return QStringLiteral("Press %1 to add a link.").arg(newLink);
    return QStringLiteral("Press %1 to add a link, or clear the search to use the current context.")
        .arg(newLink);
}

QString QuickPanelSearch::kindWord(LinkType type)
{
    switch (type) {
    case LinkType::file:
        return QStringLiteral("file");
    case LinkType::folder:
        return QStringLiteral("folder");
    case LinkType::web:
        return QStringLiteral("page");
    case LinkType::mail:
        return QStringLiteral("message");
    case LinkType::obsidian:
        return QStringLiteral("note");
    case LinkType::devonthink:
        return QStringLiteral("item");
    case LinkType::calendar:
    case LinkType::fantastical:
        return QStringLiteral("event");
    case LinkType::contact:
        break;
    }
    return QStringLiteral("contact");
}

QString QuickPanelSearch::tipped(const QString& tipID, const QString& text) const
{
    return m_tips.isDismissed(tipID) ? QString() : text;
}

void QuickPanelSearch::reload()
{
    reloadTask();
}

QCoro::Task<> QuickPanelSearch::reloadTask()
{
    const QPointer<QuickPanelSearch> self(this);
    const quint64 generation = beginListChange();
    m_listSettling = true;
    try {
        if (m_query.trimmed().isEmpty() && m_state.mode().is(Mode::Kind::search)) {
            QCoro::Task<> loading = loadActiveContextResults(generation);
            co_await loading;
        } else {
            QCoro::Task<> searching = performSearch(generation);
            co_await searching;
        }
    } catch (...) {
        const QString failure = describeError(std::current_exception());
        qCWarning(lcQuickPanel) << "The quick panel list could not be loaded:" << failure;
        if (self && isCurrentList(generation))
            m_state.setMessage(failure);
    }
    if (self && isCurrentList(generation)) {
        m_listSettling = false;
        emit listSettled();
    }
}

QCoro::Task<> QuickPanelSearch::untilListSettled()
{
    if (!m_listSettling)
        co_return;
    co_await qCoro(this, &QuickPanelSearch::listSettled, std::chrono::seconds(3));
}

QCoro::Task<> QuickPanelSearch::loadActiveContextResults(quint64 generation)
{
    const QPointer<QuickPanelSearch> self(this);
    ContextLookups lookups(m_store);
    const QList<CapturedContext> contexts = m_context.contexts();

    if (contexts.isEmpty()) {
        m_state.setResults({});
        m_state.setLinkedItems({});
        m_state.setSelectedIndex(0);
        if (m_context.message())
            m_state.setMessage(*m_context.message());
        else if (m_context.reading())
            m_state.setMessage(QuickPanelContext::readingMessage(*m_context.reading()));
        else
            m_state.setMessage(QStringLiteral("No active context. Type to search all links."));
        co_return;
    }

    if (contexts.size() == 1) {
        const CapturedContext context = contexts.first();
        QFuture<std::optional<LinkItem>> finding = lookups.findLink(context);
        const std::optional<LinkItem> saved = co_await finding;
        if (!self || !isCurrentList(generation))
            co_return;
        if (saved) {
            QFuture<QList<LinkItem>> relating = m_relations.linkedItems(saved->id);
            QList<LinkItem> related = co_await relating;
            if (!self || !isCurrentList(generation))
                co_return;
            m_state.showLinkWithRelated(*saved, std::move(related));
            m_state.setMessage(activeLinkText(context));
            co_return;
        }
        QFuture<QList<FileMatchCandidate>> matching = lookups.fileMatchCandidates(context);
        const QList<FileMatchCandidate> candidates = co_await matching;
        if (!self || !isCurrentList(generation))
            co_return;
        QList<PanelResult> rows;
        for (const FileMatchCandidate& candidate : candidates)
            rows.append(PanelResult::fileMatch(candidate));
        rows.append(PanelResult::capture(context));
        m_state.setResults(std::move(rows));
        m_state.setLinkedItems({});
        m_state.setSelectedIndex(0);
        const QString tipID =
            QStringLiteral("capture.newItem.") + QuickPanelTipStore::tipToken(context.sourceApp);
        QFuture<std::optional<QString>> describing = lookups.finderSelectionMatches(context);
        const std::optional<QString> status = co_await describing;
        if (!self || !isCurrentList(generation))
            co_return;
        if (status)
            m_state.setMessage(tipped(QStringLiteral("fileMatch.prompt"), *status));
        else
            m_state.setMessage(tipped(tipID, captureText(context)));
        co_return;
    }

    // Several items (the events of a day): each is looked up in turn, in the order shown.
    QList<PanelResult> rows;
    for (const CapturedContext& context : contexts) {
        QFuture<std::optional<LinkItem>> finding = lookups.findLink(context);
        const std::optional<LinkItem> saved = co_await finding;
        if (!self || !isCurrentList(generation))
            co_return;
        rows.append(saved ? PanelResult::link(*saved) : PanelResult::capture(context));
    }
    m_state.setResults(std::move(rows));
    m_state.setLinkedItems({});
    m_state.clampSelection();
    m_state.refreshLinkedItems();
    const QString app =
        m_context.contexts().isEmpty() ? QStringLiteral("Calendar") : m_context.contexts().first().sourceApp;
    const QString tipID = QStringLiteral("capture.multiContext.") + QuickPanelTipStore::tipToken(app);
    m_state.setMessage(tipped(
        tipID, m_context.message().value_or(QStringLiteral("Select a %1 event to add or open.").arg(app))));
}

namespace {

// The future's result once it is finished, or nothing when it was given up without one (a promise
// dropped unanswered, as a closing store or service does): awaiting it directly would read a result
// that is not there. Its exception, if it failed, is thrown as it would be.
template <class T> QCoro::Task<std::optional<T>> answerOf(QFuture<T> future)
{
    QFuture<void> finished = future.then(QtFuture::Launch::Sync, [](const T&) {});
    co_await finished;
    if (future.resultCount() == 0)
        co_return std::nullopt;
    co_return future.result();
}

} // namespace

QCoro::Task<> QuickPanelSearch::performSearch(quint64 generation)
{
    const QPointer<QuickPanelSearch> self(this);
    QFuture<QList<LinkItem>> searching = m_linkSearch(m_query);
    // The event and card searches read what the desktop's stores already hold, each on its service's
    // thread, while the library is searched; their rows follow the library's.
    QFuture<QList<CapturedContext>> searchingEvents = QtFuture::makeReadyFuture(QList<CapturedContext>());
    if (const CalendarEventService* calendar = m_searchService.calendarEventService())
        searchingEvents = calendar->searchEvents(m_query, QStringLiteral("Calendar"), m_clock->now());
    QFuture<QList<CapturedContext>> searchingCards = QtFuture::makeReadyFuture(QList<CapturedContext>());
    if (const ContactService* contacts = m_searchService.contactService())
        searchingCards = contacts->search(m_query, QStringLiteral("Contacts"));
    const std::optional<QList<LinkItem>> searched = co_await answerOf(std::move(searching));
    if (!self || !isCurrentList(generation) || !searched)
        co_return;
    const QList<LinkItem>& found = *searched;
    const QList<CapturedContext> events =
        (co_await answerOf(std::move(searchingEvents))).value_or(QList<CapturedContext>());
    if (!self || !isCurrentList(generation))
        co_return;
    const QList<CapturedContext> cards =
        (co_await answerOf(std::move(searchingCards))).value_or(QList<CapturedContext>());
    if (!self || !isCurrentList(generation))
        co_return;
    QList<PanelResult> extraRows;
    for (const CapturedContext& context : events + cards)
        extraRows.append(PanelResult::capture(context));
    QList<PanelResult> rows = PanelResult::links(found);
    rows.append(extraRows);
    m_state.setResults(std::move(rows));
    m_state.clampSelection();
    m_state.refreshLinkedItems();
    if (found.isEmpty() && !extraRows.isEmpty()) {
        m_state.setMessage(
            tipped(QStringLiteral("search.calendarCapture"),
                   QStringLiteral("Showing matching Calendar events and contacts. Press Enter to "
                                  "add one.")));
    }
}

QCoro::Task<> QuickPanelSearch::reloadAfterDeleting(QUuid id)
{
    const QPointer<QuickPanelSearch> self(this);
    quint64 generation = beginListChange();
    switch (m_state.mode().kind()) {
    case Mode::Kind::add:
        co_return;
    case Mode::Kind::backlinks: {
        const LinkItem base = *m_state.mode().link();
        if (base.id == id) {
            // The list was about the deleted link: back to what is in front of the user.
            m_state.setMode(Mode::search());
            setQuery(QString());
            // Newer than a reload that clearing the query may have started: the message of the
            // deletion goes with this list.
            generation = beginListChange();
            QCoro::Task<> loading = loadActiveContextResults(generation);
            co_await loading;
            co_return;
        }
        QFuture<QList<LinkItem>> relating = m_relations.linkedItems(base.id);
        const QList<LinkItem> related = co_await relating;
        if (!self || !isCurrentList(generation))
            co_return;
        m_state.setLinkedItems(related);
        m_state.setResults(PanelResult::links(related));
        m_state.clampSelection();
        co_return;
    }
    case Mode::Kind::search:
        if (m_query.trimmed().isEmpty()) {
            QCoro::Task<> loading = loadActiveContextResults(generation);
            co_await loading;
            co_return;
        }
        break;
    case Mode::Kind::chooseRelationSource:
        break;
    }
    const bool relating = m_state.mode().is(Mode::Kind::chooseRelationSource);
    QFuture<QList<LinkItem>> searching = m_linkSearch(m_query);
    const QList<LinkItem> found = co_await searching;
    if (!self || !isCurrentList(generation))
        co_return;
    m_state.setResults(PanelResult::links(found));
    if (!relating)
        m_state.setLinkedItems({});
    m_state.clampSelection();
    m_state.refreshLinkedItems();
}

} // namespace morvane
