#pragma once

#include "platform/AccessibilityApi.h"
#include "platform/Workspace.h"

#include <QFuture>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// What a provider read of its application's window on the accessibility thread, kept for its next
// capture on the main thread, which never waits for another application. A capture takes it only
// for the window it was read from: another window of the same application (an editor, a second main
// window) is read afresh.
template <class Reading> class KeptWindowReading {
public:
    // Inside an accessibility job: what the process's window shows.
    using Read = std::function<std::optional<Reading>(const AccessibilityApi& api, qint64 processId)>;

    KeptWindowReading(std::shared_ptr<Workspace> workspace, std::shared_ptr<AccessibilityApi> accessibility,
                      QString identifier, Read read)
        : m_workspace(std::move(workspace))
        , m_accessibility(std::move(accessibility))
        , m_identifier(std::move(identifier))
        , m_read(std::move(read))
    {
    }

    // Reads the window a capture reads (the one in front, or the one behind this application's own),
    // when it is the application's, and keeps the answer for it.
    QFuture<void> refresh()
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        if (!window)
            return QtFuture::makeReadyFuture();
        return m_accessibility->run([shared = m_shared, read = m_read, windowId = window->windowId,
                                     processId = window->application.processId](AccessibilityApi& api) {
            std::optional<Reading> reading = read(std::as_const(api), processId);
            const std::lock_guard lock(shared->mutex);
            shared->kept = Kept{windowId, std::move(reading)};
        });
    }

    // The answer kept for the window a capture reads now; nothing when that is not the application's,
    // when none was read for it, or when the read found nothing.
    std::optional<Reading> reading() const
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        const std::lock_guard lock(m_shared->mutex);
        if (!window || !m_shared->kept || m_shared->kept->windowId != window->windowId)
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

    std::optional<DesktopWindow> applicationWindow() const
    {
        std::optional<DesktopWindow> window = m_workspace->captureWindow();
        return window && window->application.identifier == m_identifier ? window : std::nullopt;
    }

    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<AccessibilityApi> m_accessibility;
    QString m_identifier;
    Read m_read;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace morvane
