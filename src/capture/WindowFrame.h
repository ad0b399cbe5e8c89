#pragma once

#include "platform/AccessibilityApi.h"

#include <QString>

#include <optional>

namespace morvane {

// Inside an accessibility job: the frame of the process's window with this title, else the process's
// active frame; nothing when the process is not on the bus.
std::optional<AccessibilityElement> windowFrame(const AccessibilityElements& api, qint64 processId,
                                                const QString& title);

// Waits for a job off the main thread: its answer, or the fallback when the bus went away under it.
template <class T> T jobAnswer(QFuture<T> job, T fallback = {})
{
    try {
        return job.result();
    } catch (...) {
        return fallback;
    }
}

} // namespace morvane
