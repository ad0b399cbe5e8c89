#pragma once

#include "foundation/StoreExecutor.h"
#include "foundation/ThreadHandOff.h"

#include <QThreadPool>

#include <functional>

namespace morvane {

// The threads on which file work runs (hashing, bookmark checks, folder walks): the store's, between
// the database steps of its operations, and the opener's, finding a saved file again. One pool for
// both, so that file work never stands in line behind other kinds of work and the store thread
// itself only ever waits for the database.
class FileWorkPool {
public:
    FileWorkPool();
    // Waits for the work already started.
    ~FileWorkPool();
    FileWorkPool(const FileWorkPool&) = delete;
    FileWorkPool& operator=(const FileWorkPool&) = delete;

    // Starts a job that reports its own outcome.
    void post(std::function<void()> job)
    {
        startHandedOff<FileWorkPool>(
            std::move(job), [this](std::function<void()> marked) { m_pool.start(std::move(marked)); });
    }
    // The future of what fn returns, or of what it throws, unchanged.
    template <class F> auto run(F fn)
    {
        return startPromised(std::move(fn), [this](std::function<void()> job) {
            post(std::move(job));
            return true;
        });
    }

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

} // namespace morvane
