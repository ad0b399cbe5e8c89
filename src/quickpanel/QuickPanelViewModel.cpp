#include "QuickPanelViewModel.h"

#include "store/LinkStore.h"

namespace morvane {

namespace {

QuickPanelServices withDefaults(QuickPanelServices services)
{
    if (!services.clock)
        services.clock = SystemClock::shared();
    if (!services.linkSearch) {
        LinkStore* store = services.store;
        services.linkSearch = [store](const QString& query) { return store->searchLinks(query); };
    }
    return services;
}

} // namespace

QuickPanelViewModel::QuickPanelViewModel(QuickPanelServices services)
    : m_services(withDefaults(std::move(services)))
    , m_state(*m_services.relationService)
    , m_context(*m_services.activeContextService, m_services.clock)
    , m_search(m_state, m_context, m_services)
    , m_tips(m_state, m_search, m_context, *m_services.tipStore)
    , m_capture(m_state, m_search, m_context, m_services)
    , m_commands(m_state, m_search, m_context, m_capture, m_services)
    , m_newLink(m_state, m_search, *m_services.store)
{
    // What was being read when the list was made is known now: the list of the empty query follows.
    QObject::connect(&m_context, &QuickPanelContext::readingEnded, &m_search, [this] {
        if (m_search.query().trimmed().isEmpty() && m_state.mode().is(QuickPanelMode::Kind::search))
            m_search.reload();
    });
}

QuickPanelViewModel::~QuickPanelViewModel() = default;

void QuickPanelViewModel::reset()
{
    // An Enter kept for the window being read is dropped with the panel, as by another key.
    m_capture.noteKeyPress();
    m_state.setAwaitingSoloCaptureDismiss(false);
    m_state.setMode(QuickPanelMode::search());
    m_search.reload();
}

void QuickPanelViewModel::refreshActiveContext()
{
    if (!m_state.mode().is(QuickPanelMode::Kind::search))
        return;
    m_state.setAwaitingSoloCaptureDismiss(false);
    m_context.capture();
    m_search.setQuery(QString());
    m_search.reload();
}

void QuickPanelViewModel::refreshIfContextChanged()
{
    // While the user types, the application in front is not even asked.
    if (!m_search.query().trimmed().isEmpty() || !m_state.mode().is(QuickPanelMode::Kind::search))
        return;
    if (m_context.recaptureIfChanged())
        m_search.reload();
}

void QuickPanelViewModel::refreshAfterShownChange()
{
    if (!m_search.query().trimmed().isEmpty() || !m_state.mode().is(QuickPanelMode::Kind::search))
        return;
    if (m_context.recaptureAfterChange())
        m_search.reload();
}

} // namespace morvane
