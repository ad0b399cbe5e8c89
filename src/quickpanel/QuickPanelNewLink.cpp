#include "QuickPanelNewLink.h"

#include "AssignChanged.h"
#include "QuickPanelSearch.h"
#include "QuickPanelState.h"
#include "foundation/Error.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QPointer>

namespace morvane {

QuickPanelNewLink::QuickPanelNewLink(QuickPanelState& state, QuickPanelSearch& search, LinkStore& store,
                                     QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_search(search)
    , m_store(store)
{
}

void QuickPanelNewLink::setTitle(const QString& text)
{
    if (assignChanged(m_title, text))
        emit titleChanged();
}

void QuickPanelNewLink::setLocator(const QString& text)
{
    if (assignChanged(m_locator, text))
        emit locatorChanged();
}

void QuickPanelNewLink::setNotes(const QString& text)
{
    if (assignChanged(m_notes, text))
        emit notesChanged();
}

void QuickPanelNewLink::setTags(const QString& text)
{
    if (assignChanged(m_tags, text))
        emit tagsChanged();
}

void QuickPanelNewLink::begin()
{
    m_state.setMode(QuickPanelMode::add());
    setTitle({});
    setLocator({});
    setNotes({});
    setTags({});
    m_state.setMessage({});
}

void QuickPanelNewLink::save()
{
    saveTask();
}

QCoro::Task<> QuickPanelNewLink::saveTask()
{
    // A second press while the first save runs would store the link twice.
    if (m_saving)
        co_return;
    const QPointer<QuickPanelNewLink> self(this);
    m_saving = true;
    emit savingChanged();
    QFuture<LinkItem> adding = m_store.addLink(m_title, m_locator, m_notes, m_tags);
    std::optional<QString> failure;
    try {
        co_await adding;
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    if (!self)
        co_return;
    m_saving = false;
    emit savingChanged();
    if (failure) {
        m_state.setMessage(*failure);
        co_return;
    }
    m_state.setMode(QuickPanelMode::search());
    m_search.setQuery(QString());
    m_search.reload();
}

} // namespace morvane
