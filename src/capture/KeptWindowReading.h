#pragma once

#include "platform/AccessibilityApi.h"

#include <QFuture>

#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// What a provider read of one window on the accessibility thread, kept for its next capture on the
// main thread, which never waits for another application. A capture takes it only for the window it
// was read from: another window of the same application (an editor, a second main window) is read
// afresh.
template <class Reading> class KeptWindowReading {
public:
    // Runs read(api) as a job on the accessibility thread and keeps its answer for the window. read
    // must hold what it uses: the provider may be gone when it runs.
    template <class Read> QFuture<void> refresh(AccessibilityApi& accessibility, quint32 windowId, Read read)
    {
        return accessibility.run(
            [shared = m_shared, windowId, read = std::move(read)](AccessibilityApi& api) {
                std::optional<Reading> reading = read(std::as_const(api));
                const std::lock_guard lock(shared->mutex);
                shared->kept = Kept{windowId, std::move(reading)};
            });
    }

    // The answer kept for the window; nothing when none was read for it or the read found nothing.
    std::optional<Reading> reading(quint32 windowId) const
    {
        const std::lock_guard lock(m_shared->mutex);
        if (!m_shared->kept || m_shared->kept->windowId != windowId)
            return std::nullopt;
        return m_shared->kept->reading;
    }

private:
    struct Kept {
        quint32 windowId = 0;
        std::optional<Reading> reading;
    };
    struct Shared {
        std::mutex mutex;
        std::optional<Kept> kept;
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace morvane
