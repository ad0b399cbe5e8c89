#pragma once

#include "foundation/Error.h"

#include <QFuture>
#include <QPromise>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace morvane {

// Thrown into the future of work submitted after the executor began shutting down.
class ExecutorClosedError : public Error {
public:
    ExecutorClosedError();
};

// One dedicated worker thread that runs submitted work one item at a time, in submission order.
// Results come back as QFutures (await them with QCoro on the main thread); an exception thrown by
// the work is carried to the future unchanged, so the awaiting code catches it by its own type.
class StoreExecutor {
public:
    explicit StoreExecutor(const char* threadName = "morvane-store");
    // Refuses new work, finishes everything already queued, then joins the thread.
    ~StoreExecutor();
    StoreExecutor(const StoreExecutor&) = delete;
    StoreExecutor& operator=(const StoreExecutor&) = delete;

    template <class F> auto submit(F fn) -> QFuture<std::invoke_result_t<F>>
    {
        using R = std::invoke_result_t<F>;
        auto promise = std::make_shared<QPromise<R>>();
        QFuture<R> future = promise->future();
        promise->start();
        const bool accepted = enqueue([promise, fn = std::move(fn)]() mutable {
            try {
                if constexpr (std::is_void_v<R>) {
                    fn();
                } else {
                    promise->addResult(fn());
                }
            } catch (...) {
                promise->setException(std::current_exception());
            }
            promise->finish();
        });
        if (!accepted) {
            promise->setException(std::make_exception_ptr(ExecutorClosedError()));
            promise->finish();
        }
        return future;
    }

    // Whether the caller runs on this executor's worker thread.
    bool isCurrentThread() const;

    // Stops accepting work, drains the queue and joins; called by the destructor, safe to call twice.
    void shutdown();

private:
    bool enqueue(std::function<void()> job);
    void runLoop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::thread::id m_threadId;
    std::thread m_thread;
};

} // namespace morvane
