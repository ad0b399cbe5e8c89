#include "WindowFrame.h"

namespace morvane {

std::optional<AccessibilityElement> windowFrame(const AccessibilityElements& api, qint64 processId,
                                                const QString& title)
{
    const std::optional<AccessibilityApplication> application = api.application(processId);
    if (!application)
        return std::nullopt;
    if (std::optional<AccessibilityElement> named = api.frameNamed(application->element, title))
        return named;
    return api.activeFrame(application->element);
}

} // namespace morvane
