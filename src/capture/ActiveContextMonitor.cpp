#include "ActiveContextMonitor.h"

#include "capture/ActiveContextService.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "store/ContextLookups.h"
#include "store/LinkStore.h"

#include <qcoro/qcorofuture.h>

#include <exception>

MORVANE_LOGGING_CATEGORY(lcContextMonitor, "ActiveContextMonitor")

namespace morvane {

ActiveContextMonitor::ActiveContextMonitor(LinkStore& store, std::shared_ptr<ActiveContextService> service,
                                           std::shared_ptr<Clock> clock, MatchChanged onMatchChanged)
    : m_store(store)
    , m_service(std::move(service))
    , m_clock(std::move(clock))
    , m_onMatchChanged(std::move(onMatchChanged))
{
}

ActiveContextMonitor::~ActiveContextMonitor() = default;

void ActiveContextMonitor::start()
{
    stop();
    pollInBackground();
    m_timer = m_clock->makeTimer([this] { pollInBackground(); });
    m_timer->start(pollInterval, true);
}

void ActiveContextMonitor::stop()
{
    m_timer.reset();
    m_lastMatchedURL.reset();
    ++m_generation;
    m_onMatchChanged(false, std::nullopt);
}

bool ActiveContextMonitor::isRunning() const
{
    return m_timer != nullptr;
}

void ActiveContextMonitor::pollInBackground()
{
    // Nobody awaits this task: it catches everything itself.
    checkActiveContext();
}

QCoro::Task<> ActiveContextMonitor::checkActiveContext()
{
    const LifetimeToken::Watch alive = m_lifetime.watch();
    const quint64 generation = m_generation;
    const std::shared_ptr<ActiveContextService> service = m_service;
    const CaptureResult captured = co_await service->captureFreshContexts();
    if (!alive || generation != m_generation)
        co_return;
    if (captured.contexts.isEmpty()) {
        updateMatch(false, std::nullopt);
        co_return;
    }
    const CapturedContext context = captured.contexts.first();
    bool found = false;
    try {
        QFuture<std::optional<LinkItem>> finding = ContextLookups(m_store).findLink(context);
        found = (co_await finding).has_value();
    } catch (const std::exception& error) {
        qCWarning(lcContextMonitor) << "Looking up the item in front failed:" << error.what();
    } catch (...) {
        qCWarning(lcContextMonitor) << "Looking up the item in front failed";
    }
    if (!alive || generation != m_generation)
        co_return;
    updateMatch(found, context);
}

void ActiveContextMonitor::updateMatch(bool hasLinks, const std::optional<CapturedContext>& context)
{
    if (hasLinks && context) {
        if (m_lastMatchedURL == context->locator)
            return;
        m_lastMatchedURL = context->locator;
        m_onMatchChanged(true, context);
        return;
    }
    if (!m_lastMatchedURL)
        return;
    m_lastMatchedURL.reset();
    m_onMatchChanged(hasLinks, context);
}

} // namespace morvane
