#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace morvane {

// Starts the store's operations one after another in submission order, so that writes land in the
// order they were asked for even when some operation does file work off the store thread between
// its database steps. An operation that holds the lane (it may do such file work) keeps every
// later one waiting until it calls release(); any other operation is done with the lane as soon as
// it is queued on the store thread, whose own queue keeps the order from there. Reads that go
// straight to the store thread pass the lane altogether. Callable from any thread.
class OrderedLane {
public:
    using Start = std::function<void()>;

    // Runs start now when nothing is ahead of it, else once everything admitted before it is done
    // with the lane. False, and start is dropped, once the lane is closed.
    bool admit(Start start, bool holds);
    // Called once by an operation that holds the lane, when it has finished.
    void release();
    // Refuses new operations from now on.
    void close();
    // Waits until everything admitted has started and released the lane.
    void waitUntilIdle();

private:
    struct Entry {
        Start start;
        bool holds = false;
    };
    void runFrom(Entry entry);
    // With m_mutex held: moves the first waiting entry into next, or marks the lane idle and
    // returns false when none is waiting.
    bool takeNextLocked(Entry& next);

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::deque<Entry> m_waiting;
    bool m_busy = false; // an operation is starting, or one that holds the lane has not released it
    bool m_closed = false;
};

} // namespace morvane
