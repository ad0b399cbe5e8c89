#pragma once

#include <functional>
#include <utility>

// ThreadSanitizer sees the orderings it can intercept (a std::mutex, a thread's start and join, an
// atomic in our own code) but not those made inside Qt or GLib, which are not built for it: a job a
// QThreadPool thread takes from its queue, a call queued to another thread's event loop. Where our
// code hands memory to another thread through one of those, it marks both sides: the sender after
// its last write (MORVANE_HAND_OFF), the receiver before its first read (MORVANE_TAKE_OVER), on one
// address both know without reading what was handed over. Nothing in other builds.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define MORVANE_HAND_OFF(address) __tsan_release((void*)(address))
#define MORVANE_TAKE_OVER(address) __tsan_acquire((void*)(address))
#else
#define MORVANE_HAND_OFF(address) static_cast<void>(0)
#define MORVANE_TAKE_OVER(address) static_cast<void>(0)
#endif

namespace morvane {

// One address per queue that Qt keeps for us, named by a type of ours: a job finds it without reading
// anything it captured. As with a queue guarded by a mutex, everything done before any job entered
// the queue is ordered before every job taken from it after.
template <class Queue> inline char handOffPoint = 0;

// Everything handed to the main thread goes through its event queue, Qt's: a call queued to an
// object there, a finished future's call-out to the coroutine or watcher waiting for it. A thread
// hands off to it after its last write and before it finishes the future or queues the call; under
// the sanitizer the tests take over from it before each event the main thread handles.
struct MainThreadQueue;
inline void handOffToMainThread()
{
    MORVANE_HAND_OFF(&handOffPoint<MainThreadQueue>);
}

// Gives start() the job to queue (QThreadPool::start, say), marked as handed off through Queue's queue.
template <class Queue, class Start> void startHandedOff(std::function<void()> job, Start&& start)
{
#if defined(__SANITIZE_THREAD__)
    std::function<void()> marked = [job = std::move(job)] {
        MORVANE_TAKE_OVER(&handOffPoint<Queue>);
        job();
    };
    // After the job was moved where the queue keeps it: the queue itself only moves its pointer.
    MORVANE_HAND_OFF(&handOffPoint<Queue>);
    start(std::move(marked));
#else
    start(std::move(job));
#endif
}

} // namespace morvane
