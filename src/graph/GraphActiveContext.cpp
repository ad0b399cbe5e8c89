#include "GraphActiveContext.h"

#include "GraphContent.h"
#include "GraphFilters.h"
#include "GraphNavigation.h"
#include "GraphSelection.h"
#include "capture/ActiveContextService.h"
#include "foundation/Clock.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QPointer>

#include <utility>

namespace morvane {

GraphActiveContext::GraphActiveContext(LinkStore& store, std::shared_ptr<ActiveContextService> contexts,
                                       std::shared_ptr<Clock> clock, GraphContent& content,
                                       const GraphFilters& filters, GraphSelection& selection,
                                       GraphNavigation& navigation, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_contexts(std::move(contexts))
    , m_clock(std::move(clock))
    , m_content(content)
    , m_filters(filters)
    , m_selection(selection)
    , m_navigation(navigation)
{
}

GraphActiveContext::~GraphActiveContext() = default;

void GraphActiveContext::start()
{
    if (m_timer)
        m_timer->stop();
    m_timer = m_clock->makeTimer([this] { capture(); });
    m_timer->start(lookInterval, true);
}

void GraphActiveContext::stop()
{
    if (m_timer) {
        m_timer->stop();
        m_timer.reset();
    }
}

bool GraphActiveContext::isRunning() const
{
    return m_timer && m_timer->isActive();
}

// After a load that left nothing selected, every second while the window is shown, and when it is
// shown. The capture runs here on the main thread (providers may wait for other applications); the
// lookup runs on the store thread. The capture remembers what it saw, so showing the window asks the
// application in front once.
void GraphActiveContext::capture()
{
    m_contexts->refreshInBackground(); // for the next capture: bus readers answer from their last reading
    const CaptureResult captured = m_contexts->captureContexts();
    if (!captured.contexts.isEmpty())
        m_lastExternalContext = captured.contexts.first();
    if (m_lastExternalContext)
        lookUp(*m_lastExternalContext);
}

// Lookups are not ordered against each other: each applies its answer when it arrives.
QCoro::Task<> GraphActiveContext::lookUp(CapturedContext context)
{
    const QPointer<GraphActiveContext> self(this);
    std::optional<LinkItem> link;
    QFuture<std::optional<LinkItem>> lookup = ContextLookups(m_store).findLink(std::move(context));
    try {
        link = co_await lookup;
    } catch (...) {
        // A failed lookup counts as an item that is not saved.
    }
    if (self)
        applyLink(link);
}

void GraphActiveContext::applyLink(const std::optional<LinkItem>& link)
{
    const bool loaded = link && m_content.anyItem(link->id) != nullptr;
    const std::optional<QUuid> active = loaded ? std::optional<QUuid>(link->id) : std::nullopt;
    // A look that finds what the last one found changes nothing: no rebuild, no layout steps.
    if (active != m_selection.activeNodeID()) {
        m_selection.setActiveNodeID(active);
        // The neighbourhood shown follows the item the user works on.
        if (m_filters.scope() == GraphScope::currentNeighborhood)
            m_content.rebuild();
    }
    // A selection the user made is never taken over.
    if (loaded && !m_selection.selectedNodeID())
        m_navigation.centerOnNode(link->id, true);
}

} // namespace morvane
