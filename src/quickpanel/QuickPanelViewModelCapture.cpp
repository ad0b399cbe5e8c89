// What Enter does on an item that is not saved yet (or on a saved file that may be the selected
// one), and the add form's save: the library is written, then the panel offers to link the new item
// to another one, or waits for the closing Enter when the library holds nothing else.

#include "QuickPanelViewModel.h"

#include "foundation/Error.h"
#include "services/QuickPanelTipStore.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"

#include <QPointer>

namespace morvane {

namespace {

QString addedText(const LinkItem& saved)
{
    return QStringLiteral("Added “%1”.").arg(saved.title);
}

} // namespace

QCoro::Task<bool> QuickPanelViewModel::saveCapturedContext(CapturedContext context)
{
    return finishCapture(m_services.store->addCapturedContext(std::move(context), QString(), QString()));
}

QCoro::Task<bool> QuickPanelViewModel::confirmFileMatch(FileMatchCandidate candidate)
{
    // Records the selected file as this machine's copy of the saved link; no new link is made.
    return finishCapture(ContextLookups(*m_services.store).useFileMatch(std::move(candidate)));
}

QCoro::Task<bool> QuickPanelViewModel::finishCapture(QFuture<LinkItem> saving)
{
    const QPointer<QuickPanelViewModel> self(this);
    std::optional<LinkItem> written;
    try {
        written = co_await saving;
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
        co_return true;
    }
    if (!self)
        co_return true;
    const LinkItem saved = std::move(*written);
    QFuture<QList<LinkItem>> searching = m_services.linkSearch(QString());
    QList<LinkItem> recent;
    try {
        recent = co_await searching;
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
        co_return true;
    }
    if (!self)
        co_return true;
    QList<PanelResult> others;
    for (const LinkItem& item : recent) {
        if (item.id != saved.id)
            others.append(PanelResult::link(item));
    }
    // A list still loading from before the save is older than what the save shows.
    beginListChange();
    if (others.isEmpty()) {
        showSoloCaptureDismiss(saved);
        co_return true;
    }
    setAwaitingSoloCaptureDismiss(false);
    setMode(Mode::chooseRelationSource(saved));
    setQuery(QString());
    setLinkedItems({});
    setSelectedIndex(0);
    setResults(std::move(others));
    setMessage(m_services.tipStore->isDismissed(QStringLiteral("capture.linkAfter"))
                   ? addedText(saved)
                   : QStringLiteral("Added “%1”. Select another item to link to, then press Enter.")
                         .arg(saved.title));
    co_return true;
}

void QuickPanelViewModel::showSoloCaptureDismiss(const LinkItem& saved)
{
    setMode(Mode::search());
    setQuery(QString());
    captureContextsNow();
    setResults({PanelResult::link(saved)});
    setLinkedItems({});
    setSelectedIndex(0);
    setAwaitingSoloCaptureDismiss(true);
    setMessage(m_services.tipStore->isDismissed(QStringLiteral("capture.soloDismiss"))
                   ? addedText(saved)
                   : QStringLiteral("Added “%1”. Press Enter or Esc to close.").arg(saved.title));
}

void QuickPanelViewModel::saveAddForm()
{
    saveAddFormTask();
}

QCoro::Task<> QuickPanelViewModel::saveAddFormTask()
{
    // A second press while the first save runs would store the link twice.
    if (m_savingAddForm)
        co_return;
    const QPointer<QuickPanelViewModel> self(this);
    m_savingAddForm = true;
    emit savingAddFormChanged();
    QFuture<LinkItem> adding = m_services.store->addLink(m_addTitle, m_addLocator, m_addNotes, m_addTags);
    std::optional<QString> failure;
    try {
        co_await adding;
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    if (!self)
        co_return;
    m_savingAddForm = false;
    emit savingAddFormChanged();
    if (failure) {
        setMessage(*failure);
        co_return;
    }
    setMode(Mode::search());
    setQuery(QString());
    reload();
}

} // namespace morvane
