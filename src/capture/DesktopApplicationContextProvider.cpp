#include "DesktopApplicationContextProvider.h"

#include "platform/Workspace.h"

namespace morvane {

DesktopApplicationContextProvider::DesktopApplicationContextProvider(QString name,
                                                                     std::shared_ptr<Workspace> workspace,
                                                                     Recognizer isApplication,
                                                                     WindowReader read)
    : m_name(std::move(name))
    , m_workspace(workspace)
    , m_isApplication(isApplication)
    , m_read(std::move(read))
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

std::optional<CapturedContext> DesktopApplicationContextProvider::captureContext()
{
    const std::optional<DesktopWindow> window = targetWindow();
    if (!window)
        return std::nullopt;
    std::optional<CapturedContext> context = m_cache.capture(*window);
    if (context)
        m_recentlyActive.markCaptured(window->application.identifier);
    return context;
}

} // namespace morvane
