#include "WindowCaptureCache.h"

#include "foundation/ThreadHandOff.h"

#include <QtConcurrent/QtConcurrentRun>

namespace morvane {

QFuture<void> WindowCaptureCache::refresh(const DesktopWindow& window, Read read)
{
    quint64 generation = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        generation = ++m_shared->started;
    }
    // On Qt's shared pool, not the file pool: a read waits on another application over its bus, and
    // neither a capture nor a hash should stand in line behind the other. The pool's queue is Qt's: the
    // reader and what it holds were made here, before the job was queued.
    MORVANE_HAND_OFF(&handOffPoint<WindowCaptureCache>);
    return QtConcurrent::run([shared = m_shared, windowId = window.windowId, application = window.application,
                              title = window.title, read = std::move(read), generation] {
        MORVANE_TAKE_OVER(&handOffPoint<WindowCaptureCache>);
        WindowReading reading;
        try {
            reading = read();
        } catch (...) {
            // A reader that failed captured nothing; the next poll asks again.
        }
        const std::lock_guard lock(shared->mutex);
        if (!shared->kept || shared->kept->generation < generation)
            shared->kept = Kept{windowId, application, title, std::move(reading), generation};
    });
}

WindowReading WindowCaptureCache::capture(const DesktopWindow& window) const
{
    const std::lock_guard lock(m_shared->mutex);
    if (!m_shared->kept || m_shared->kept->windowId != window.windowId ||
        m_shared->kept->application != window.application || m_shared->kept->title != window.title ||
        m_shared->kept->generation < m_shared->trustedFrom)
        return {};
    return m_shared->kept->reading;
}

void WindowCaptureCache::distrust()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->trustedFrom = m_shared->started + 1;
}

} // namespace morvane
