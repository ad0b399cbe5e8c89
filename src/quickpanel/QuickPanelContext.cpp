#include "QuickPanelContext.h"

#include "capture/ActiveContextService.h"

#include <algorithm>

namespace morvane {

namespace {

CaptureResult captureFrom(ActiveContextService& service)
{
    // Providers that read over a bus answer from their last reading; the next second's check has this one's.
    service.refreshInBackground();
    return service.captureContexts();
}

} // namespace

QuickPanelContext::QuickPanelContext(ActiveContextService& service)
    : m_service(service)
{
}

void QuickPanelContext::capture()
{
    CaptureResult captured = captureFrom(m_service);
    m_contexts = std::move(captured.contexts);
    m_message = std::move(captured.message);
}

bool QuickPanelContext::recaptureIfChanged()
{
    CaptureResult captured = captureFrom(m_service);
    const bool sameContexts =
        std::equal(captured.contexts.begin(), captured.contexts.end(), m_contexts.begin(), m_contexts.end(),
                   [](const CapturedContext& a, const CapturedContext& b) { return a.locator == b.locator; });
    if (sameContexts && captured.message == m_message)
        return false;
    m_contexts = std::move(captured.contexts);
    m_message = std::move(captured.message);
    return true;
}

} // namespace morvane
