#include "WindowPaths.h"

#include <QElapsedTimer>

#include <algorithm>

namespace morvane {

bool walkWithPaths(const AccessibilityElements& api, const AccessibilityElement& start,
                   const BoundedWalk& walk,
                   const std::function<bool(const AccessibilityElement&, const ElementPath&)>& visit)
{
    // An explicit stack keeps a deep tree from deepening ours; children are pushed in reverse so they
    // are visited in their own order.
    struct Pending {
        AccessibilityElement element;
        ElementPath path;
    };
    QElapsedTimer clock;
    clock.start();
    QList<Pending> stack{{start, {}}};
    int visited = 0;
    while (!stack.isEmpty() && visited < walk.maxNodes && clock.elapsed() < walk.maxTime.count()) {
        const Pending next = stack.takeLast();
        ++visited;
        const AccessibilityStates state = api.states(next.element);
        if (state.testFlag(AccessibilityState::defunct))
            continue;
        if (walk.showingOnly && !next.path.isEmpty() && !state.testFlag(AccessibilityState::showing))
            continue;
        if (visit(next.element, next.path))
            return true;
        if (next.path.size() >= walk.maxDepth || walk.skipRoles.contains(api.role(next.element)))
            continue;
        const int count = std::min(api.childCount(next.element).value_or(0), walk.maxChildren);
        for (int index = count - 1; index >= 0; --index) {
            if (const std::optional<AccessibilityElement> child = api.childAt(next.element, index))
                stack.append({*child, ElementPath(next.path) << index});
        }
    }
    return false;
}

std::optional<AccessibilityElement> elementAtPath(const AccessibilityElements& api,
                                                  AccessibilityElement start, const ElementPath& path)
{
    for (const int index : path) {
        const std::optional<AccessibilityElement> child = api.childAt(start, index);
        if (!child)
            return std::nullopt;
        start = *child;
    }
    return start;
}

std::optional<WindowPathMemo::Paths> WindowPathMemo::paths(const Window& window,
                                                           std::optional<quint64> changeStamp) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_windows.constFind(window.windowId);
    if (found == m_windows.constEnd() || found->title != window.title)
        return std::nullopt;
    if (found->changeStamp)
        return found->changeStamp == changeStamp ? std::optional(found->paths) : std::nullopt;
    if (found->paths.isEmpty() && std::chrono::steady_clock::now() - found->remembered >= m_nothingKeptFor)
        return std::nullopt;
    return found->paths;
}

void WindowPathMemo::remember(const Window& window, Paths paths, std::optional<quint64> changeStamp)
{
    const std::lock_guard lock(m_mutex);
    if (!m_windows.contains(window.windowId) && m_windows.size() >= maxWindows) {
        const auto oldest =
            std::min_element(m_windows.begin(), m_windows.end(),
                             [](const Entry& a, const Entry& b) { return a.order < b.order; });
        m_windows.erase(oldest);
    }
    m_windows.insert(window.windowId, Entry{window.title, std::move(paths), ++m_remembered,
                                            std::chrono::steady_clock::now(), changeStamp});
}

void WindowPathMemo::forget(const Window& window)
{
    const std::lock_guard lock(m_mutex);
    m_windows.remove(window.windowId);
}

} // namespace morvane
