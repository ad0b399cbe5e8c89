#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <type_traits>

namespace morvane {

// The threads on which the store does its file work (hashing, bookmark checks, folder walks), so
// that the store thread itself only ever waits for the database. Like the store thread's futures,
// these carry an exception of the work with its own type (QtConcurrent would wrap it).
class FileWorkPool {
public:
    FileWorkPool();
    // Waits for the work already started.
    ~FileWorkPool();
    FileWorkPool(const FileWorkPool&) = delete;
    FileWorkPool& operator=(const FileWorkPool&) = delete;

    template <class F> auto submit(F fn) -> QFuture<std::invoke_result_t<F>>
    {
        using R = std::invoke_result_t<F>;
        auto promise = std::make_shared<QPromise<R>>();
        QFuture<R> future = promise->future();
        promise->start();
        m_pool.start([promise, fn = std::move(fn)]() mutable {
            try {
                if constexpr (std::is_void_v<R>)
                    fn();
                else
                    promise->addResult(fn());
            } catch (...) {
                promise->setException(std::current_exception());
            }
            promise->finish();
        });
        return future;
    }

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

} // namespace morvane
