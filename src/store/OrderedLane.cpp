#include "OrderedLane.h"

namespace morvane {

bool OrderedLane::admit(Start start, bool holds)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        if (m_busy) {
            m_waiting.push_back({std::move(start), holds});
            return true;
        }
        m_busy = true;
    }
    runFrom({std::move(start), holds});
    return true;
}

void OrderedLane::release()
{
    Entry next;
    {
        std::lock_guard lock(m_mutex);
        if (!takeNextLocked(next))
            return;
    }
    runFrom(std::move(next));
}

bool OrderedLane::takeNextLocked(Entry& next)
{
    if (m_waiting.empty()) {
        m_busy = false;
        // Under the lock: a waiter may destroy the lane as soon as it sees it idle.
        m_idle.notify_all();
        return false;
    }
    next = std::move(m_waiting.front());
    m_waiting.pop_front();
    return true;
}

void OrderedLane::runFrom(Entry entry)
{
    // Started outside the lock: a start may finish at once and release the lane from this thread.
    for (;;) {
        entry.start();
        if (entry.holds)
            return; // its release() starts the next one
        std::lock_guard lock(m_mutex);
        if (!takeNextLocked(entry))
            return;
    }
}

void OrderedLane::close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
}

void OrderedLane::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && m_waiting.empty(); });
}

} // namespace morvane
