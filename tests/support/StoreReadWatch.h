#pragma once

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

namespace morvane::test {

// What the calendar and contact doubles share about their reads: how many came on the main thread
// (none should: the real stores may wait on their service), and whether the store is ever read, which
// a service stuck on a remote account never is.
struct StoreReadWatch {
    void note() const
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++mainThreadReads;
    }

    // Stands for the service: never read, it lets the caller wait its whole bound.
    bool waitUntilRead(std::chrono::milliseconds bound) const
    {
        note();
        ++waits;
        if (neverRead)
            std::this_thread::sleep_for(bound);
        return !neverRead;
    }

    mutable std::atomic_int mainThreadReads = 0;
    mutable std::atomic_int waits = 0; // calls of waitUntilRead
    bool neverRead = false;
};

} // namespace morvane::test
