#include "DesktopApplicationContextProvider.h"

#include "platform/Workspace.h"

namespace morvane {

DesktopApplicationContextProvider::DesktopApplicationContextProvider(QString name,
                                                                     std::shared_ptr<Workspace> workspace,
                                                                     Recognizer isApplication,
                                                                     WindowReader read,
                                                                     ApplicationReading route)
    : m_name(std::move(name))
    , m_workspace(workspace)
    , m_isApplication(isApplication)
    , m_read(std::move(read))
    , m_route(route)
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       std::move(isApplication))
{
}

std::optional<DesktopWindow> DesktopApplicationContextProvider::targetWindow()
{
    if (!m_recentlyActive.captureTarget())
        return std::nullopt;
    std::optional<DesktopWindow> window = m_workspace->captureWindow();
    if (!window || !m_isApplication(window->application.identifier))
        return std::nullopt;
    return window;
}

QFuture<void> DesktopApplicationContextProvider::refresh()
{
    const std::optional<DesktopWindow> window = targetWindow();
    if (!window)
        return ActiveContextProvider::refresh();
    return m_cache.refresh(*window, [read = m_read, window = *window] { return read(window); });
}

CaptureResult DesktopApplicationContextProvider::captureContexts()
{
    const std::optional<DesktopWindow> window = targetWindow();
    if (!window)
        return {};
    WindowReading reading = m_cache.capture(*window);
    if (!reading.context)
        return {{}, std::move(reading.reason)};
    m_recentlyActive.markCaptured(window->application.identifier);
    return {{std::move(*reading.context)}, std::nullopt};
}

std::optional<CapturedContext> DesktopApplicationContextProvider::captureContext()
{
    CaptureResult result = captureContexts();
    return result.contexts.isEmpty() ? std::nullopt : std::optional(std::move(result.contexts.first()));
}

ApplicationReading DesktopApplicationContextProvider::readingOf(const QString& identifier) const
{
    return m_isApplication(identifier) ? m_route : ApplicationReading::none;
}

} // namespace morvane
