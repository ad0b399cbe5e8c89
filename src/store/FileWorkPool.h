#pragma once

#include "foundation/StoreExecutor.h"

#include <QFuture>
#include <QThreadPool>

#include <functional>
#include <type_traits>

namespace morvane {

// The threads on which the store does its file work (hashing, bookmark checks, folder walks), so
// that the store thread itself only ever waits for the database. Like the store thread's futures,
// these carry an exception of the work with its own type.
class FileWorkPool {
public:
    FileWorkPool();
    // Waits for the work already started.
    ~FileWorkPool();
    FileWorkPool(const FileWorkPool&) = delete;
    FileWorkPool& operator=(const FileWorkPool&) = delete;

    template <class F> auto submit(F fn) -> QFuture<std::invoke_result_t<F>>
    {
        return startPromised(std::move(fn), [this](std::function<void()> job) {
            m_pool.start(std::move(job));
            return true;
        });
    }

    // Starts a job that reports its own outcome.
    void post(std::function<void()> job) { m_pool.start(std::move(job)); }

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

} // namespace morvane
