#pragma once

#include "platform/AccessibilityApi.h"

#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace morvane {

// Where an element sits below a window's frame: the child positions that lead to it from the frame.
using ElementPath = QList<int>;

// A depth-first walk bounded in elements and in time: a window with a huge tree (a long message list,
// a document with many pages) costs at most the budget, whatever the application holds.
struct BoundedWalk {
    int maxDepth = 40;
    int maxNodes = 2000;   // elements visited, the start included
    int maxChildren = 500; // of each element, the first ones
    std::chrono::milliseconds maxTime{1500};
    // Children of elements with these roles are not entered (menus, tool bars).
    QList<AccessibilityRole> skipRoles;
    bool showingOnly = true; // below start, an element not showing is neither visited nor entered
};

// Inside an accessibility job: visits the elements below start, start included, each with its path
// from start, until visit answers true; false when it never did within the budget.
bool walkWithPaths(const AccessibilityElements& api, const AccessibilityElement& start,
                   const BoundedWalk& walk,
                   const std::function<bool(const AccessibilityElement&, const ElementPath&)>& visit);

// Inside an accessibility job: the element the path leads to from start; nothing when a step along it
// is gone (the application rebuilt that part of its window).
std::optional<AccessibilityElement> elementAtPath(const AccessibilityElements& api,
                                                  AccessibilityElement start, const ElementPath& path);

// What a reader learnt of each window it walked, so that it walks a window once: the paths to the
// parts it reads (a document view, a message list and pane), or that the walk found nothing there.
// A window is known by its id and title: a window retitled (another document, another folder) is
// walked again, and so is one whose remembered parts have gone. A window that showed nothing is also
// walked again once a while has passed: applications title a window before they fill it (Thunderbird
// names the folder before its list is there), so a walk in between must not hold for good; unless
// it was remembered with the bus's change stamp (AccessibilityElements::changeStamp), and then it holds
// exactly as long as nothing was announced since. Thread-safe.
class WindowPathMemo {
public:
    explicit WindowPathMemo(std::chrono::milliseconds nothingKeptFor = std::chrono::seconds(10))
        : m_nothingKeptFor(nothingKeptFor)
    {
    }

    struct Window {
        quint32 windowId = 0;
        QString title;
    };
    // The parts a walk found, in the reader's own order; empty when it found nothing.
    using Paths = QList<ElementPath>;

    // Nothing when the window was not walked as it is now. changeStamp is the bus's now.
    std::optional<Paths> paths(const Window& window, std::optional<quint64> changeStamp = {}) const;
    // changeStamp: the bus's stamp read before the walk, for a walk that holds until it moves.
    void remember(const Window& window, Paths paths, std::optional<quint64> changeStamp = {});
    // The remembered parts led nowhere: the next read walks the window again.
    void forget(const Window& window);

private:
    struct Entry {
        QString title;
        Paths paths;
        quint64 order = 0;
        std::chrono::steady_clock::time_point remembered;
        std::optional<quint64> changeStamp;
    };
    // Windows come and go over a long session: beyond this many, the one remembered first is dropped.
    static constexpr int maxWindows = 32;

    std::chrono::milliseconds m_nothingKeptFor;
    mutable std::mutex m_mutex;
    QHash<quint32, Entry> m_windows;
    quint64 m_remembered = 0;
};

} // namespace morvane
