// How the quick panel fills its list: the item in front of the user for an empty query, else the
// library search with matching events and cards; and the list again after a deletion.

#include "QuickPanelViewModel.h"

#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"
#include "store/RelationService.h"
#include "store/StoreChange.h"

#include <QCoroSignal>
#include <QPointer>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcQuickPanel, "QuickPanel")

namespace {

QString activeLinkText(const CapturedContext& context)
{
    return QStringLiteral("Showing links for the active %1 %2.")
        .arg(context.sourceApp, QuickPanelViewModel::kindWord(context.type));
}

QString captureText(const CapturedContext& context)
{
    return QStringLiteral("Press Enter to add this %1 %2. If other links exist, you can link it next, or "
                          "type to search.")
        .arg(context.sourceApp, QuickPanelViewModel::kindWord(context.type));
}

} // namespace

QString QuickPanelViewModel::kindWord(LinkType type)
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

QString QuickPanelViewModel::tipped(const QString& tipID, const QString& text) const
{
    return m_services.tipStore->isDismissed(tipID) ? QString() : text;
}

void QuickPanelViewModel::reload()
{
    reloadTask();
}

QCoro::Task<> QuickPanelViewModel::reloadTask()
{
    const QPointer<QuickPanelViewModel> self(this);
    const quint64 generation = beginListChange();
    m_listSettling = true;
    try {
        if (m_query.trimmed().isEmpty() && m_mode.is(Mode::Kind::search)) {
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
            setMessage(failure);
    }
    if (self && isCurrentList(generation)) {
        m_listSettling = false;
        emit listSettled();
    }
}

QCoro::Task<> QuickPanelViewModel::untilListSettled()
{
    if (!m_listSettling)
        co_return;
    co_await qCoro(this, &QuickPanelViewModel::listSettled, std::chrono::seconds(3));
}

QCoro::Task<> QuickPanelViewModel::loadActiveContextResults(quint64 generation)
{
    const QPointer<QuickPanelViewModel> self(this);
    ContextLookups lookups(*m_services.store);
    const QList<CapturedContext> contexts = m_activeContexts;

    if (contexts.isEmpty()) {
        setResults({});
        setLinkedItems({});
        setSelectedIndex(0);
        setMessage(
            m_activeContextMessage.value_or(QStringLiteral("No active context. Type to search all links.")));
        co_return;
    }

    if (contexts.size() == 1) {
        const CapturedContext context = contexts.first();
        QFuture<std::optional<LinkItem>> finding = lookups.findLink(context);
        const std::optional<LinkItem> saved = co_await finding;
        if (!self || !isCurrentList(generation))
            co_return;
        if (saved) {
            QFuture<QList<LinkItem>> relating = m_services.relationService->linkedItems(saved->id);
            const QList<LinkItem> related = co_await relating;
            if (!self || !isCurrentList(generation))
                co_return;
            QList<PanelResult> rows{PanelResult::link(*saved)};
            rows.append(PanelResult::links(related));
            setResults(std::move(rows));
            setLinkedItems(related);
            setSelectedIndex(0);
            setMessage(activeLinkText(context));
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
        setResults(std::move(rows));
        setLinkedItems({});
        setSelectedIndex(0);
        const QString tipID =
            QStringLiteral("capture.newItem.") + QuickPanelTipStore::tipToken(context.sourceApp);
        QFuture<std::optional<QString>> describing = lookups.finderSelectionMatches(context);
        const std::optional<QString> status = co_await describing;
        if (!self || !isCurrentList(generation))
            co_return;
        if (status)
            setMessage(tipped(QStringLiteral("fileMatch.prompt"), *status));
        else
            setMessage(tipped(tipID, captureText(context)));
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
    setResults(std::move(rows));
    setLinkedItems({});
    clampSelection();
    refreshLinkedItems();
    const QString app =
        m_activeContexts.isEmpty() ? QStringLiteral("Calendar") : m_activeContexts.first().sourceApp;
    const QString tipID = QStringLiteral("capture.multiContext.") + QuickPanelTipStore::tipToken(app);
    setMessage(tipped(tipID, m_activeContextMessage.value_or(
                                 QStringLiteral("Select a %1 event to add or open.").arg(app))));
}

QCoro::Task<> QuickPanelViewModel::performSearch(quint64 generation)
{
    const QPointer<QuickPanelViewModel> self(this);
    QFuture<QList<LinkItem>> searching = m_services.linkSearch(m_query);
    // The event and card searches answer at once, on this thread, from what the desktop's stores
    // already hold; they run while the library is searched, and follow its rows.
    QList<PanelResult> extraRows;
    if (const CalendarEventService* calendar = m_services.searchService->calendarEventService()) {
        for (const CapturedContext& event :
             calendar->searchEvents(m_query, QStringLiteral("Calendar"), m_services.clock->now()))
            extraRows.append(PanelResult::capture(event));
    }
    if (const ContactService* contacts = m_services.searchService->contactService()) {
        for (const CapturedContext& card : contacts->search(m_query, QStringLiteral("Contacts")))
            extraRows.append(PanelResult::capture(card));
    }
    const QList<LinkItem> found = co_await searching;
    if (!self || !isCurrentList(generation))
        co_return;
    QList<PanelResult> rows = PanelResult::links(found);
    rows.append(extraRows);
    setResults(std::move(rows));
    clampSelection();
    refreshLinkedItems();
    if (found.isEmpty() && !extraRows.isEmpty()) {
        setMessage(tipped(QStringLiteral("search.calendarCapture"),
                          QStringLiteral("Showing matching Calendar events and contacts. Press Enter to "
                                         "add one.")));
    }
}

QCoro::Task<> QuickPanelViewModel::reloadAfterDeleting(QUuid id)
{
    const QPointer<QuickPanelViewModel> self(this);
    quint64 generation = beginListChange();
    switch (m_mode.kind()) {
    case Mode::Kind::add:
        co_return;
    case Mode::Kind::backlinks: {
        const LinkItem base = *m_mode.link();
        if (base.id == id) {
            // The list was about the deleted link: back to what is in front of the user.
            setMode(Mode::search());
            setQuery(QString());
            // Newer than a reload that clearing the query may have started: the message of the
            // deletion goes with this list.
            generation = beginListChange();
            QCoro::Task<> loading = loadActiveContextResults(generation);
            co_await loading;
            co_return;
        }
        QFuture<QList<LinkItem>> relating = m_services.relationService->linkedItems(base.id);
        const QList<LinkItem> related = co_await relating;
        if (!self || !isCurrentList(generation))
            co_return;
        setLinkedItems(related);
        setResults(PanelResult::links(related));
        clampSelection();
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
    const bool relating = m_mode.is(Mode::Kind::chooseRelationSource);
    QFuture<QList<LinkItem>> searching = m_services.linkSearch(m_query);
    const QList<LinkItem> found = co_await searching;
    if (!self || !isCurrentList(generation))
        co_return;
    setResults(PanelResult::links(found));
    if (!relating)
        setLinkedItems({});
    clampSelection();
    refreshLinkedItems();
}

QCoro::Task<> QuickPanelViewModel::deleteLink(LinkItem item)
{
    const QPointer<QuickPanelViewModel> self(this);
    const QUuid id = item.id;
    QCoro::Task<bool> deleting = writeAndAnnounce(m_services.store->deleteLink(id));
    if (!co_await deleting)
        co_return;
    try {
        QCoro::Task<> refreshing = reloadAfterDeleting(id);
        co_await refreshing;
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
        co_return;
    }
    if (self)
        setMessage(QStringLiteral("Deleted %1.").arg(item.title));
}

void QuickPanelViewModel::announceChange()
{
    m_services.store->notifyDidMutate(true);
}

QCoro::Task<bool> QuickPanelViewModel::writeAndAnnounce(QFuture<void> change)
{
    QCoro::Task<bool> writing =
        changeStoreFor(this, std::move(change), [this](const QString& message) { setMessage(message); });
    const bool written = co_await writing;
    if (written)
        announceChange();
    co_return written;
}

} // namespace morvane
