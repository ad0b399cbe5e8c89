#pragma once

#include "foundation/Error.h"

#include <QFuture>
#include <QPromise>

#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

namespace morvane {

// Thrown into the future of work submitted after the executor began shutting down.
class ExecutorClosedError : public Error {
public:
    ExecutorClosedError();
};

// Thrown when code that belongs to the worker thread is reached from another thread. It is a
// programming error; it is thrown (and logged) rather than asserted so that release builds refuse
// the call too instead of racing the worker on what it owns.
class WrongThreadError : public Error {
public:
    explicit WrongThreadError(const char* what);
};

// Gives the promise what compute() returns, or the exception it throws, unchanged; does not finish it.
template <class R, class Compute> void fulfil(QPromise<R>& promise, Compute&& compute)
{
    try {
        if constexpr (std::is_void_v<R>) {
            compute();
        } else {
            promise.addResult(compute());
        }
    } catch (...) {
        promise.setException(std::current_exception());
    }
}

// Hands start a job that runs fn and returns the future of its result. An exception thrown by fn
// is carried to the future unchanged, so the awaiting code catches it by its own type (QtConcurrent
// would wrap it). When start refuses the job (returns false), or the job is let go without running
// (its thread stopped first), the future carries ExecutorClosedError instead: a waiter is released with
// an error it can catch, never with a result that is not there.
template <class F, class Start> auto startPromised(F fn, Start&& start) -> QFuture<std::invoke_result_t<F>>
{
    using R = std::invoke_result_t<F>;
    const auto unfulfilledFails = [](QPromise<R>* promise) {
        if (!promise->future().isFinished()) {
            promise->setException(std::make_exception_ptr(ExecutorClosedError()));
            promise->finish();
        }
        delete promise;
    };
    std::shared_ptr<QPromise<R>> promise(new QPromise<R>, unfulfilledFails);
    QFuture<R> future = promise->future();
    promise->start();
    start([promise, fn = std::move(fn)]() mutable {
        fulfil(*promise, fn);
        promise->finish();
    });
    return future;
}

// One dedicated worker thread that runs submitted work one item at a time, in submission order.
// Results come back as QFutures (await them with QCoro on the main thread); an exception thrown by
// the work is carried to the future unchanged, so the awaiting code catches it by its own type.
class StoreExecutor {
public:
    explicit StoreExecutor(const char* threadName = "morvane-store");
    // Refuses new work, finishes everything already queued, then joins the thread. Destroyed from
    // inside its own work, it runs what is queued right there and lets the thread end on its own.
    ~StoreExecutor();
    StoreExecutor(const StoreExecutor&) = delete;
    StoreExecutor& operator=(const StoreExecutor&) = delete;

    template <class F> auto submit(F fn) -> QFuture<std::invoke_result_t<F>>
    {
        return startPromised(std::move(fn),
                             [this](std::function<void()> job) { return post(std::move(job)); });
    }
    // Queues a job that reports its own outcome; false, and the job is dropped, once shutting down.
    bool post(std::function<void()> job);

    // Whether the caller runs on this executor's worker thread.
    bool isCurrentThread() const;
    // Throws WrongThreadError (naming what was reached) unless the caller runs on the worker thread.
    void requireCurrentThread(const char* what) const;

    // Stops accepting work, drains the queue and joins; called by the destructor, safe to call twice.
    // Called from the worker itself, it runs the queued work in place and returns without joining.
    void shutdown();

private:
    struct Queue;

    // Shared with the worker, which may outlive this object when it is destroyed from its own work.
    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
    std::thread::id m_threadId;
};

} // namespace morvane
