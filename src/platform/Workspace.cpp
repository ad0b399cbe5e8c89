#include "Workspace.h"

namespace morvane {

std::optional<QString> Workspace::frontmostIdentifier() const
{
    const std::optional<RunningApplication> front = frontmostApplication();
    if (!front)
        return std::nullopt;
    return front->identifier;
}

} // namespace morvane
