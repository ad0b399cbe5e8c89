// The commands on the selected row: open, relate, backlinks, remove a relation, delete, copy. Each
// reads the selection once, when it starts, and works on its own copy of the link from then on.

#include "QuickPanelCommands.h"

#include "AssignChanged.h"
#include "QuickPanelCapture.h"
#include "QuickPanelContext.h"
#include "QuickPanelSearch.h"
#include "QuickPanelState.h"
#include "foundation/Error.h"
#include "foundation/KeyText.h"
#include "foundation/Logging.h"
#include "foundation/Pending.h"
#include "services/PasteboardService.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"
#include "store/RelationService.h"
#include "store/StoreChange.h"

#include <QCoroFuture>
#include <QPointer>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcQuickPanelCommands, "QuickPanelCommands")

using Mode = QuickPanelMode;

QuickPanelCommands::QuickPanelCommands(QuickPanelState& state, QuickPanelSearch& search,
                                       QuickPanelContext& context, QuickPanelCapture& capture,
                                       const QuickPanelServices& services, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_search(search)
    , m_context(context)
    , m_capture(capture)
    , m_store(*services.store)
    , m_relations(*services.relationService)
    , m_pasteboard(services.pasteboard)
    , m_opening(services.opening)
{
}

void QuickPanelCommands::setPendingDeleteItem(std::optional<LinkItem> item)
{
    if (assignChanged(m_pendingDeleteItem, std::move(item)))
        emit pendingDeleteItemChanged();
}

void QuickPanelCommands::setPendingRelationDelete(std::optional<PendingRelationDelete> pending)
{
    if (assignChanged(m_pendingRelationDelete, std::move(pending)))
        emit pendingRelationDeleteChanged();
}

// --- Opening -------------------------------------------------------------------------------------------

QCoro::Task<bool> QuickPanelCommands::activateSelection()
{
    if (m_state.awaitingSoloCaptureDismiss()) {
        // The Enter that closes the panel after a solo capture.
        m_state.setAwaitingSoloCaptureDismiss(false);
        co_return false;
    }
    const std::optional<PanelResult> selected = m_state.selectedResult();
    if (!selected && m_context.reading()) {
        // What is in front is not known yet: the Enter is kept for it.
        qCDebug(lcQuickPanelCommands) << "Enter kept for the window being read";
        QCoro::Task<bool> saving = m_capture.saveWhenRead();
        const bool staysOpen = co_await saving;
        co_return staysOpen;
    }
    if (!selected) {
        qCDebug(lcQuickPanelCommands) << "Enter on an empty list";
        co_return false;
    }
    qCDebug(lcQuickPanelCommands).noquote()
        << "Enter on" << (selected->kind() == PanelResult::Kind::link ? "the saved" : "the new")
        << privateValue(selected->title());
    switch (selected->kind()) {
    case PanelResult::Kind::fileMatch: {
        QCoro::Task<bool> confirming = m_capture.confirmFileMatch(*selected->candidate());
        const bool staysOpen = co_await confirming;
        co_return staysOpen;
    }
    case PanelResult::Kind::capture: {
        QCoro::Task<bool> saving = m_capture.saveContext(*selected->context());
        const bool staysOpen = co_await saving;
        co_return staysOpen;
    }
    case PanelResult::Kind::link:
        break;
    }
    QCoro::Task<> opening = openLink(*selected->item());
    co_await opening;
    co_return false;
}

QCoro::Task<> QuickPanelCommands::openLink(LinkItem item)
{
    const std::shared_ptr<ItemOpening> opening = m_opening; // kept while it opens
    QCoro::Task<> opened = opening->open(std::move(item));
    try {
        co_await std::move(opened);
    } catch (...) {
        qCWarning(lcQuickPanelCommands)
            << "Opening a link failed:" << describeError(std::current_exception());
    }
}

// --- Relating ------------------------------------------------------------------------------------------

QCoro::Task<bool> QuickPanelCommands::completeRelation()
{
    const QPointer<QuickPanelCommands> self(this);
    if (!m_state.mode().is(Mode::Kind::chooseRelationSource))
        co_return false;
    const LinkItem source = *m_state.mode().link();
    const std::optional<LinkItem> target = m_state.selectedLink();
    if (!target)
        co_return false;
    if (target->id == source.id) {
        m_state.setMessage(QStringLiteral("Choose a different item to link to."));
        co_return false;
    }
    QCoro::Task<bool> relating = writeAndAnnounce(m_store.addRelation(source.id, target->id));
    if (!co_await relating)
        co_return false;
    m_context.capture();
    const QString text = QStringLiteral("Linked “%1” to “%2”.").arg(source.title, target->title);
    try {
        QCoro::Task<> showing = showLinkedItems(source, text);
        co_await showing;
    } catch (...) {
        if (self)
            m_state.setMessage(describeError(std::current_exception()));
        co_return false;
    }
    co_return true;
}

QCoro::Task<> QuickPanelCommands::showLinkedItems(LinkItem item, QString text)
{
    const QPointer<QuickPanelCommands> self(this);
    m_state.setMode(Mode::search());
    m_search.setQuery(QString());
    m_state.setAwaitingSoloCaptureDismiss(false);
    // Taken after the query was cleared: the reload that clearing may start is older than this list,
    // which is what the command announces.
    const quint64 generation = m_search.beginListChange();
    QFuture<QList<LinkItem>> relating = m_relations.linkedItems(item.id);
    QList<LinkItem> related = co_await relating;
    if (!self || !m_search.isCurrentList(generation))
        co_return;
    m_state.showLinkWithRelated(item, std::move(related));
    m_state.setMessage(text);
}

void QuickPanelCommands::beginRelation()
{
    std::optional<LinkItem> link = m_state.selectedLink();
    if (!link)
        return;
    m_state.setMode(Mode::chooseRelationSource(std::move(*link)));
    m_search.setQuery(QString());
    m_search.reload();
    m_state.setMessage(QStringLiteral("Select an item to link"));
}

void QuickPanelCommands::showBacklinks()
{
    std::optional<LinkItem> link = m_state.selectedLink();
    if (!link)
        return;
    m_state.setMode(Mode::backlinks(*link));
    loadBacklinks(std::move(*link), m_search.beginListChange());
}

QCoro::Task<> QuickPanelCommands::loadBacklinks(LinkItem base, quint64 generation)
{
    const QPointer<QuickPanelCommands> self(this);
    QList<LinkItem> related;
    try {
        QFuture<QList<LinkItem>> relating = m_relations.linkedItems(base.id);
        related = co_await relating;
    } catch (...) {
        // A list that cannot be read shows as no related links.
    }
    if (!self || !m_search.isCurrentList(generation))
        co_return;
    m_state.setLinkedItems(related);
    m_state.setResults(PanelResult::links(related));
    m_state.setSelectedIndex(0);
}

// --- Removing a relation ---------------------------------------------------------------------------------

std::optional<LinkItem> QuickPanelCommands::relationBaseItem() const
{
    const Mode& mode = m_state.mode();
    if (const LinkItem* base = mode.is(Mode::Kind::backlinks) ? mode.link() : nullptr)
        return *base;
    if (mode.is(Mode::Kind::search) && !m_state.linkedItems().isEmpty() && !m_state.results().isEmpty())
        return m_state.results().first().linkItem();
    return std::nullopt;
}

bool QuickPanelCommands::canRemoveRelation() const
{
    const std::optional<LinkItem> base = relationBaseItem();
    const std::optional<LinkItem> link = m_state.selectedLink();
    return base && link && link->id != base->id;
}

void QuickPanelCommands::requestRemoveRelation()
{
    if (!canRemoveRelation()) {
        const unsigned ctrlShift = KeyModifier::ctrl | KeyModifier::shift;
        m_state.setMessage(QStringLiteral("Select a linked item in the list, then press %1 (or %2).")
                               .arg(keyCombinationText(ctrlShift, KeyName::backspace),
                                    keyCombinationText(ctrlShift, KeyName::deleteKey)));
        return;
    }
    setPendingRelationDelete(PendingRelationDelete{*relationBaseItem(), *m_state.selectedLink()});
}

void QuickPanelCommands::confirmRemoveRelation()
{
    confirmPending(
        m_pendingRelationDelete, [this] { emit pendingRelationDeleteChanged(); },
        [this](PendingRelationDelete pending) { removeRelation(std::move(pending)); });
}

void QuickPanelCommands::cancelRemoveRelation()
{
    setPendingRelationDelete(std::nullopt);
}

QCoro::Task<> QuickPanelCommands::removeRelation(PendingRelationDelete pending)
{
    const QPointer<QuickPanelCommands> self(this);
    // In a typed search any two links can be offered; only a pair that is related is removed, in the
    // same step that checks it.
    QFuture<bool> removing = m_store.removeRelationIfRelated(pending.source.id, pending.target.id);
    bool removed = false;
    try {
        removed = co_await removing;
    } catch (...) {
        if (self)
            m_state.setMessage(describeError(std::current_exception()));
        co_return;
    }
    if (!self)
        co_return;
    if (!removed) {
        m_state.setMessage(QStringLiteral("No relation between these items."));
        co_return;
    }
    announceChange();
    const QString text = QStringLiteral("Removed relation between “%1” and “%2”.")
                             .arg(pending.source.title, pending.target.title);
    switch (m_state.mode().kind()) {
    case Mode::Kind::search:
        try {
            QCoro::Task<> showing = showLinkedItems(pending.source, text);
            co_await showing;
        } catch (...) {
            if (self)
                m_state.setMessage(describeError(std::current_exception()));
        }
        co_return;
    case Mode::Kind::backlinks: {
        const LinkItem base = *m_state.mode().link();
        const quint64 generation = m_search.beginListChange();
        QList<LinkItem> related;
        try {
            QFuture<QList<LinkItem>> relating = m_relations.linkedItems(base.id);
            related = co_await relating;
        } catch (...) {
            if (self)
                m_state.setMessage(describeError(std::current_exception()));
            co_return;
        }
        if (!self)
            co_return;
        if (m_search.isCurrentList(generation)) {
            m_state.setLinkedItems(related);
            m_state.setResults(PanelResult::links(related));
            m_state.clampSelection();
        }
        m_state.setMessage(text);
        co_return;
    }
    case Mode::Kind::chooseRelationSource:
    case Mode::Kind::add:
        break;
    }
    m_state.setMessage(text);
    m_search.reload();
}

// --- Deleting ----------------------------------------------------------------------------------------------

void QuickPanelCommands::requestDelete()
{
    const std::optional<PanelResult> selected = m_state.selectedResult();
    // Only a saved link's own row: a file-match row stands for a file that is not saved as such.
    if (!selected || !selected->item()) {
        m_state.setMessage(QStringLiteral("Select a saved link to delete."));
        return;
    }
    setPendingDeleteItem(*selected->item());
}

void QuickPanelCommands::confirmDelete()
{
    confirmPending(
        m_pendingDeleteItem, [this] { emit pendingDeleteItemChanged(); },
        [this](LinkItem item) { deleteLink(std::move(item)); });
}

void QuickPanelCommands::cancelDelete()
{
    setPendingDeleteItem(std::nullopt);
}

QCoro::Task<> QuickPanelCommands::deleteLink(LinkItem item)
{
    const QPointer<QuickPanelCommands> self(this);
    const QUuid id = item.id;
    QCoro::Task<bool> deleting = writeAndAnnounce(m_store.deleteLink(id));
    if (!co_await deleting)
        co_return;
    try {
        QCoro::Task<> refreshing = m_search.reloadAfterDeleting(id);
        co_await refreshing;
    } catch (...) {
        if (self)
            m_state.setMessage(describeError(std::current_exception()));
        co_return;
    }
    if (self)
        m_state.setMessage(QStringLiteral("Deleted %1.").arg(item.title));
}

void QuickPanelCommands::announceChange()
{
    m_store.notifyDidMutate(true);
}

QCoro::Task<bool> QuickPanelCommands::writeAndAnnounce(QFuture<void> change)
{
    QCoro::Task<bool> writing = changeStoreFor(
        this, std::move(change), [this](const QString& message) { m_state.setMessage(message); });
    const bool written = co_await writing;
    if (written)
        announceChange();
    co_return written;
}

// --- Copying -----------------------------------------------------------------------------------------------

void QuickPanelCommands::copySelected(CopyFormat format)
{
    const std::optional<LinkItem> link = m_state.selectedLink();
    if (!link) {
        if (format == CopyFormat::morvane || format == CopyFormat::morvaneMarkdown)
            m_state.setMessage(QStringLiteral("Select a saved link to copy a Morvane link."));
        return;
    }
    m_pasteboard->copy(*link, format);
    switch (format) {
    case CopyFormat::url:
        m_state.setMessage(QStringLiteral("URL copied"));
        return;
    case CopyFormat::markdown:
        m_state.setMessage(QStringLiteral("Markdown link copied"));
        return;
    case CopyFormat::morvane:
        m_state.setMessage(QStringLiteral("Morvane link copied"));
        return;
    case CopyFormat::morvaneMarkdown:
        break;
    }
    m_state.setMessage(QStringLiteral("Morvane Markdown link copied"));
}

} // namespace morvane
