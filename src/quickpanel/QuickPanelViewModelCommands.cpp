// The commands on the selected row: open, relate, backlinks, remove a relation, delete, copy. Each
// reads the selection once, when it starts, and works on its own copy of the link from then on.

#include "QuickPanelViewModel.h"

#include "foundation/Error.h"
#include "foundation/KeyText.h"
#include "foundation/Logging.h"
#include "foundation/Pending.h"
#include "services/PasteboardService.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"
#include "store/RelationService.h"

#include <QPointer>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcQuickPanelCommands, "QuickPanelCommands")

// --- Opening -------------------------------------------------------------------------------------------

QCoro::Task<bool> QuickPanelViewModel::activateSelection()
{
    if (m_awaitingSoloCaptureDismiss) {
        // The Enter that closes the panel after a solo capture.
        setAwaitingSoloCaptureDismiss(false);
        co_return false;
    }
    const std::optional<PanelResult> selected = selectedResult();
    if (!selected)
        co_return false;
    switch (selected->kind()) {
    case PanelResult::Kind::fileMatch: {
        QCoro::Task<bool> confirming = confirmFileMatch(*selected->candidate());
        const bool staysOpen = co_await confirming;
        co_return staysOpen;
    }
    case PanelResult::Kind::capture: {
        QCoro::Task<bool> saving = saveCapturedContext(*selected->context());
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

QCoro::Task<> QuickPanelViewModel::openLink(LinkItem item)
{
    const std::shared_ptr<ItemOpening> opening = m_services.opening; // kept while it opens
    QCoro::Task<> opened = opening->open(std::move(item));
    try {
        co_await std::move(opened);
    } catch (...) {
        qCWarning(lcQuickPanelCommands)
            << "Opening a link failed:" << describeError(std::current_exception());
    }
}

// --- Relating ------------------------------------------------------------------------------------------

QCoro::Task<bool> QuickPanelViewModel::completeRelation()
{
    const QPointer<QuickPanelViewModel> self(this);
    if (!m_mode.is(Mode::Kind::chooseRelationSource))
        co_return false;
    const LinkItem source = *m_mode.link();
    const std::optional<PanelResult> selected = selectedResult();
    const std::optional<LinkItem> target = selected ? selected->linkItem() : std::nullopt;
    if (!target)
        co_return false;
    if (target->id == source.id) {
        setMessage(QStringLiteral("Choose a different item to link to."));
        co_return false;
    }
    QCoro::Task<bool> relating = writeAndAnnounce(m_services.store->addRelation(source.id, target->id));
    if (!co_await relating)
        co_return false;
    captureContextsNow();
    const QString text = QStringLiteral("Linked “%1” to “%2”.").arg(source.title, target->title);
    try {
        QCoro::Task<> showing = showLinkedItems(source, text);
        co_await showing;
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
        co_return false;
    }
    co_return true;
}

QCoro::Task<> QuickPanelViewModel::showLinkedItems(LinkItem item, QString text)
{
    const QPointer<QuickPanelViewModel> self(this);
    setMode(Mode::search());
    setQuery(QString());
    setAwaitingSoloCaptureDismiss(false);
    // Taken after the query was cleared: the reload that clearing may start is older than this list,
    // which is what the command announces.
    const quint64 generation = beginListChange();
    QFuture<QList<LinkItem>> relating = m_services.relationService->linkedItems(item.id);
    const QList<LinkItem> related = co_await relating;
    if (!self || !isCurrentList(generation))
        co_return;
    QList<PanelResult> rows{PanelResult::link(item)};
    rows.append(PanelResult::links(related));
    setResults(std::move(rows));
    setLinkedItems(related);
    setSelectedIndex(0);
    setMessage(text);
}

void QuickPanelViewModel::beginRelation()
{
    const std::optional<PanelResult> selected = selectedResult();
    std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    if (!link)
        return;
    setMode(Mode::chooseRelationSource(std::move(*link)));
    setQuery(QString());
    reload();
    setMessage(QStringLiteral("Select an item to link"));
}

void QuickPanelViewModel::showBacklinks()
{
    const std::optional<PanelResult> selected = selectedResult();
    std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    if (!link)
        return;
    setMode(Mode::backlinks(*link));
    loadBacklinks(std::move(*link), beginListChange());
}

QCoro::Task<> QuickPanelViewModel::loadBacklinks(LinkItem base, quint64 generation)
{
    const QPointer<QuickPanelViewModel> self(this);
    QList<LinkItem> related;
    try {
        QFuture<QList<LinkItem>> relating = m_services.relationService->linkedItems(base.id);
        related = co_await relating;
    } catch (...) {
        // A list that cannot be read shows as no related links.
    }
    if (!self || !isCurrentList(generation))
        co_return;
    setLinkedItems(related);
    setResults(PanelResult::links(related));
    setSelectedIndex(0);
}

// --- Removing a relation ---------------------------------------------------------------------------------

bool QuickPanelViewModel::canRemoveRelation() const
{
    const std::optional<LinkItem> base = relationBaseItem();
    const std::optional<PanelResult> selected = selectedResult();
    const std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    return base && link && link->id != base->id;
}

void QuickPanelViewModel::requestRemoveRelation()
{
    const std::optional<LinkItem> base = relationBaseItem();
    const std::optional<PanelResult> selected = selectedResult();
    const std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    if (!base || !link || link->id == base->id) {
        const unsigned ctrlShift = KeyModifier::ctrl | KeyModifier::shift;
        setMessage(QStringLiteral("Select a linked item in the list, then press %1 (or %2).")
                       .arg(keyCombinationText(ctrlShift, KeyName::backspace),
                            keyCombinationText(ctrlShift, KeyName::deleteKey)));
        return;
    }
    setPendingRelationDelete(PendingRelationDelete{*base, *link});
}

void QuickPanelViewModel::confirmRemoveRelation()
{
    confirmPending(
        m_pendingRelationDelete, [this] { emit pendingRelationDeleteChanged(); },
        [this](PendingRelationDelete pending) { removeRelation(std::move(pending)); });
}

void QuickPanelViewModel::cancelRemoveRelation()
{
    setPendingRelationDelete(std::nullopt);
}

QCoro::Task<> QuickPanelViewModel::removeRelation(PendingRelationDelete pending)
{
    const QPointer<QuickPanelViewModel> self(this);
    // In a typed search any two links can be offered; only a pair that is related is removed, in the
    // same step that checks it.
    QFuture<bool> removing = m_services.store->removeRelationIfRelated(pending.source.id, pending.target.id);
    bool removed = false;
    try {
        removed = co_await removing;
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
        co_return;
    }
    if (!self)
        co_return;
    if (!removed) {
        setMessage(QStringLiteral("No relation between these items."));
        co_return;
    }
    announceChange();
    const QString text = QStringLiteral("Removed relation between “%1” and “%2”.")
                             .arg(pending.source.title, pending.target.title);
    switch (m_mode.kind()) {
    case Mode::Kind::search:
        try {
            QCoro::Task<> showing = showLinkedItems(pending.source, text);
            co_await showing;
        } catch (...) {
            if (self)
                setMessage(describeError(std::current_exception()));
        }
        co_return;
    case Mode::Kind::backlinks: {
        const LinkItem base = *m_mode.link();
        const quint64 generation = beginListChange();
        QList<LinkItem> related;
        try {
            QFuture<QList<LinkItem>> relating = m_services.relationService->linkedItems(base.id);
            related = co_await relating;
        } catch (...) {
            if (self)
                setMessage(describeError(std::current_exception()));
            co_return;
        }
        if (!self)
            co_return;
        if (isCurrentList(generation)) {
            setLinkedItems(related);
            setResults(PanelResult::links(related));
            setSelectedIndex(std::max<qint64>(std::min<qint64>(m_selectedIndex, m_results.size() - 1), 0));
        }
        setMessage(text);
        co_return;
    }
    case Mode::Kind::chooseRelationSource:
    case Mode::Kind::add:
        break;
    }
    setMessage(text);
    reload();
}

// --- Deleting ----------------------------------------------------------------------------------------------

void QuickPanelViewModel::requestDelete()
{
    const std::optional<PanelResult> selected = selectedResult();
    // Only a saved link's own row: a file-match row stands for a file that is not saved as such.
    if (!selected || !selected->item()) {
        setMessage(QStringLiteral("Select a saved link to delete."));
        return;
    }
    setPendingDeleteItem(*selected->item());
}

void QuickPanelViewModel::confirmDelete()
{
    confirmPending(
        m_pendingDeleteItem, [this] { emit pendingDeleteItemChanged(); },
        [this](LinkItem item) { deleteLink(std::move(item)); });
}

void QuickPanelViewModel::cancelDelete()
{
    setPendingDeleteItem(std::nullopt);
}

// --- Copying -----------------------------------------------------------------------------------------------

void QuickPanelViewModel::copySelected(CopyFormat format)
{
    const std::optional<PanelResult> selected = selectedResult();
    const std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    if (!link) {
        if (format == CopyFormat::morvane || format == CopyFormat::morvaneMarkdown)
            setMessage(QStringLiteral("Select a saved link to copy a Morvane link."));
        return;
    }
    m_services.pasteboard->copy(*link, format);
    switch (format) {
    case CopyFormat::url:
        setMessage(QStringLiteral("URL copied"));
        return;
    case CopyFormat::markdown:
        setMessage(QStringLiteral("Markdown link copied"));
        return;
    case CopyFormat::morvane:
        setMessage(QStringLiteral("Morvane link copied"));
        return;
    case CopyFormat::morvaneMarkdown:
        break;
    }
    setMessage(QStringLiteral("Morvane Markdown link copied"));
}

} // namespace morvane
