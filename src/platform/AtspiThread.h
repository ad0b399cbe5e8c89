#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace morvane {

// One thread running a GLib main context of its own: libatspi's connection lives on it (so its
// messages are read even between jobs, and never pile up), and jobs are idle sources on it, run in
// the order they were queued.
//
// The loop and its context belong to the thread's own state, which the thread holds: ended from one
// of its own jobs, the thread cannot be joined there, so it is let go and ends once that job returns,
// and nothing it still reads may belong to the object that let it go. Jobs queued behind that one are
// dropped, not run: they may reach what is being destroyed.
class AtspiThread {
public:
    // Starts the thread and returns once it runs; setUp runs there first, given the GLib main context
    // (a GMainContext*) the thread runs.
    explicit AtspiThread(std::function<void(void* mainContext)> setUp);
    // Runs the jobs already queued, then ends the thread; from one of its own jobs, drops them.
    ~AtspiThread();
    AtspiThread(const AtspiThread&) = delete;
    AtspiThread& operator=(const AtspiThread&) = delete;

    // False, and the job is dropped, once the thread is ending.
    bool post(std::function<void()> job);
    bool isCurrent() const;

private:
    struct State;

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace morvane
