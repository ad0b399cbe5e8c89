#include "Workspace.h"

namespace morvane {

std::optional<QString> Workspace::frontmostIdentifier() const
{
    const std::optional<RunningApplication> front = frontmostApplication();
    if (!front)
        return std::nullopt;
    return front->identifier;
}

std::optional<DesktopWindow> Workspace::captureWindow() const
{
    std::optional<DesktopWindow> front = frontWindow();
    if (!front || front->application.identifier != ownApplicationIdentifier())
        return front;
    return windowBeforeOwn();
}

} // namespace morvane
