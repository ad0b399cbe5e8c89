#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// As glib.h declares it; the header stays free of GLib's own.
typedef struct _GMainContext GMainContext;

namespace morvane {

// A thread of our own that runs a GLib main context and takes jobs: the one shape such a thread has
// here. Jobs run in the order they were posted, each from an idle source on the context, between
// whatever else the context dispatches (a library's connection attached to it is read even between
// jobs). A job that runs the context itself (waiting for an answer) dispatches the jobs posted after it
// there.
//
// The loop, its context and the queue belong to the thread's own state, which the thread holds, so
// the thread can be let go rather than joined: when it is stopped from one of its own jobs (it cannot
// join itself), and when a job is still inside a call into another program once the stop's wait runs
// out (such a call may not be cancellable, and a quit must not wait for it). A thread let go ends by
// itself once that job returns, or with the process. Whatever its jobs reach must therefore be held
// by the jobs, never by the object that stopped it. What they cannot hold is what the process's exit
// sequence takes down under them (static objects, the libraries' own state), so main() ends through
// settleThreadsLetGo().
class GLibLoopThread {
public:
    static constexpr std::chrono::milliseconds unbounded = std::chrono::milliseconds::max();

    // Starts the thread, named name (at most 15 bytes), on context (null: a new context of its own),
    // which it makes its thread-default context before anything runs. Returns at once.
    explicit GLibLoopThread(const char* name, GMainContext* context = nullptr);
    // stop() without a bound.
    ~GLibLoopThread();
    GLibLoopThread(const GLibLoopThread&) = delete;
    GLibLoopThread& operator=(const GLibLoopThread&) = delete;

    // Queues job; false, and the job is dropped unrun, once the thread is stopping.
    bool post(std::function<void()> job);
    bool isCurrent() const;
    GMainContext* context() const;

    // Refuses jobs from now on, ends the loop once the jobs already posted have run, and waits at most
    // wait for the thread to end. A thread still running then is let go, and the jobs it has not
    // started are dropped unrun, here and now: whatever waits on them (a job's promise, released
    // unfulfilled) is released rather than left waiting for a thread that may never come back. From one
    // of its own jobs the jobs queued behind that one are dropped unrun, since they may reach what is
    // being destroyed, and the thread ends once that job returns.
    // True when the thread ended within the wait. Later calls do nothing and answer the first's.
    bool stop(std::chrono::milliseconds wait = unbounded);

    // Joins each thread let go that ends within wait; true when none is left inside its call.
    static bool joinThreadsLetGo(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // main()'s last step, once every object that owns one of these threads is gone: joins each thread
    // let go that has ended by now and answers status. When one is still inside its call, the process
    // ends here instead, with status and its standard streams flushed, without the exit sequence it
    // could come back into (static destructors, the libraries' finalisers): everything that had to be
    // written (the library, settings) was written before its owner went.
    static int settleThreadsLetGo(int status);

private:
    struct State;
    // The thread's end, reached only after it let go of its state.
    using Done = std::shared_ptr<std::atomic<bool>>;

    // Keeps the thread, which this object no longer waits for, to be joined at the process's end.
    void letGo();

    std::shared_ptr<State> m_state;
    Done m_done = std::make_shared<std::atomic<bool>>(false);
    std::thread m_thread;
    std::thread::id m_id;
    bool m_stopped = false;
    bool m_ended = false;
};

} // namespace morvane
