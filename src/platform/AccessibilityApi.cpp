#include "AccessibilityApi.h"

#include <algorithm>

namespace morvane {

QList<AccessibilityElement> AccessibilityElements::children(const AccessibilityElement& element,
                                                            int maxCount) const
{
    QList<AccessibilityElement> found;
    const int count = std::min(childCount(element).value_or(0), maxCount);
    for (int index = 0; index < count; ++index) {
        if (const std::optional<AccessibilityElement> child = childAt(element, index))
            found.append(*child);
    }
    return found;
}

QList<AccessibilityElement> AccessibilityElements::selectedChildren(const AccessibilityElement& element,
                                                                    int maxCount) const
{
    QList<AccessibilityElement> found;
    const int count = std::min(selectedChildCount(element).value_or(0), maxCount);
    for (int index = 0; index < count; ++index) {
        const std::optional<AccessibilityElement> child = selectedChildAt(element, index);
        if (!child)
            break;
        found.append(*child);
    }
    return found;
}

std::optional<AccessibilityApplication> AccessibilityElements::application(qint64 processId) const
{
    if (processId <= 0)
        return std::nullopt;
    for (const AccessibilityApplication& application : applications()) {
        if (application.processId == processId)
            return application;
    }
    return std::nullopt;
}

QList<AccessibilityElement> AccessibilityElements::frames(const AccessibilityElement& application) const
{
    QList<AccessibilityElement> found;
    for (const AccessibilityElement& child : children(application)) {
        const AccessibilityRole kind = role(child);
        if (kind == AccessibilityRole::frame || kind == AccessibilityRole::window ||
            kind == AccessibilityRole::dialog)
            found.append(child);
    }
    return found;
}

std::optional<AccessibilityElement>
AccessibilityElements::activeFrame(const AccessibilityElement& application) const
{
    for (const AccessibilityElement& frame : frames(application)) {
        if (states(frame).testFlag(AccessibilityState::active))
            return frame;
    }
    return std::nullopt;
}

std::optional<AccessibilityElement> AccessibilityElements::frameNamed(const AccessibilityElement& application,
                                                                      const QString& title) const
{
    for (const AccessibilityElement& frame : frames(application)) {
        if (name(frame) == title)
            return frame;
    }
    return std::nullopt;
}

std::optional<AccessibilityElement>
AccessibilityElements::findFirst(const AccessibilityElement& start,
                                 const std::function<bool(const AccessibilityElement&)>& match,
                                 const Walk& walk) const
{
    // An explicit stack keeps a deep tree from deepening ours; children are pushed in reverse so
    // they are visited in their own order.
    struct Pending {
        AccessibilityElement element;
        int depth;
    };
    QList<Pending> stack{{start, 0}};
    int visited = 0;
    while (!stack.isEmpty() && visited < walk.maxNodes) {
        const Pending next = stack.takeLast();
        ++visited;
        const AccessibilityStates state = states(next.element);
        if (state.testFlag(AccessibilityState::defunct))
            continue;
        if (walk.showingOnly && next.depth > 0 && !state.testFlag(AccessibilityState::showing))
            continue;
        if (match(next.element))
            return next.element;
        if (next.depth >= walk.maxDepth || walk.skipRoles.contains(role(next.element)))
            continue;
        const QList<AccessibilityElement> below = children(next.element, walk.maxChildren);
        for (auto child = below.rbegin(); child != below.rend(); ++child)
            stack.append({*child, next.depth + 1});
    }
    return std::nullopt;
}

QFuture<AccessibilityTrust> UnavailableAccessibilityApi::refreshTrust()
{
    return QtFuture::makeReadyFuture(AccessibilityTrust::notAvailable);
}

bool UnavailableAccessibilityApi::post(std::function<void()> job)
{
    job();
    return true;
}

} // namespace morvane
