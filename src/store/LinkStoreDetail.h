#pragma once

// The machinery behind LinkStore's operations: how an operation keeps its place in the order, hands
// file work to the pool and settles its future. Only the store's own files include this, and tests
// that seed a library through LinkStoreDatabase.

#include "LinkStore.h"
#include "foundation/ThreadHandOff.h"
#include "library/SQLiteStore.h"

#include <QPromise>

#include <exception>
#include <variant>

namespace morvane {

namespace detail {

// The pending half of an operation whose file work needs only its own arguments.
template <class T> struct Pending {
    T value;
};

// The outcome of one store operation, reported once from whichever thread finishes its last step.
// The steps hand each other plain jobs and this settles the operation's promise: a continuation
// attached to a future that another thread may be finishing at that moment can run twice with
// this Qt (then the second run finds its state moved away), so the store attaches none.
template <class R> class Settlement {
public:
    Settlement(std::shared_ptr<QPromise<R>> promise, std::function<void()> afterwards)
        : m_promise(std::move(promise))
        , m_afterwards(std::move(afterwards))
    {
    }

    // The value of compute(), or what it threw.
    template <class Compute> void settle(Compute&& compute) const
    {
        fulfil(*m_promise, compute);
        finish();
    }

    void fail(std::exception_ptr error) const
    {
        m_promise->setException(error);
        finish();
    }

private:
    void finish() const
    {
        handOffToMainThread();
        m_promise->finish();
        if (m_afterwards)
            m_afterwards();
    }

    std::shared_ptr<QPromise<R>> m_promise;
    std::function<void()> m_afterwards; // lets the next operation start, for one that held the order
};

} // namespace detail

// Direct access to the connection on the store thread, for the store's own operations (the context
// lookups, the relation read, the sync pass's steps) and for tests that seed or inspect a library.
// Everything else goes through LinkStore's named operations.
class LinkStoreDatabase {
public:
    explicit LinkStoreDatabase(LinkStore& store)
        : m_store(store)
    {
    }

    // fn(SQLiteStore&) on the store thread, in order with every other operation.
    template <class F> auto run(F fn) { return m_store.run(std::move(fn)); }
    // fn(SQLiteStore&) on the store thread, not waiting for operations busy with a file.
    template <class F> auto read(F fn) { return m_store.read(std::move(fn)); }
    // What the store's operations read with: its parser and its file identity service.
    const LinkParser& parser() const { return m_store.m_parser; }
    const std::shared_ptr<const FileIdentityService>& fileIdentityService() const
    {
        return m_store.m_identity;
    }
    // An operation with file work on the file pool, in order with every other operation (see
    // LinkStore::withFileWork).
    template <class Prepare, class Examine, class Settle>
    auto withFileWork(Prepare prepare, Examine examine, Settle settle)
    {
        return m_store.withFileWork(std::move(prepare), std::move(examine), std::move(settle));
    }

private:
    LinkStore& m_store;
};

template <class F> auto LinkStore::run(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>
{
    using R = std::invoke_result_t<F, SQLiteStore&>;
    return ordered<R>(false, [this, fn = std::move(fn)](detail::Settlement<R> done) mutable {
        onStoreThread(done, [this, fn, done]() mutable { done.settle([&] { return fn(database()); }); });
    });
}

template <class F> auto LinkStore::read(F fn) -> QFuture<std::invoke_result_t<F, SQLiteStore&>>
{
    return m_executor.submit([this, fn = std::move(fn)]() mutable { return fn(database()); });
}

template <class R, class Start> QFuture<R> LinkStore::ordered(bool holds, Start start)
{
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> result = promise->future();
    promise->start();
    detail::Settlement<R> done(promise,
                               holds ? std::function<void()>([this] { m_lane.release(); }) : nullptr);
    const bool admitted =
        m_lane.admit([done, start = std::move(start)]() mutable { start(std::move(done)); }, holds);
    if (!admitted)
        detail::Settlement<R>(promise, nullptr).fail(std::make_exception_ptr(ExecutorClosedError()));
    return result;
}

template <class R, class Job> void LinkStore::onStoreThread(const detail::Settlement<R>& done, Job job)
{
    if (!m_executor.post(std::move(job)))
        done.fail(std::make_exception_ptr(ExecutorClosedError()));
}

template <class Prepare, class Examine, class Settle>
auto LinkStore::withFileWork(Prepare prepare, Examine examine, Settle settle)
{
    using Step = std::invoke_result_t<Prepare&, SQLiteStore&>;
    using Result = std::variant_alternative_t<0, Step>;
    return ordered<Result>(true, [this, prepare = std::move(prepare), examine = std::move(examine),
                                  settle = std::move(settle)](detail::Settlement<Result> done) mutable {
        onStoreThread(done, [this, prepare, examine, settle, done]() mutable {
            std::optional<Step> step;
            try {
                step.emplace(prepare(database()));
            } catch (...) {
                done.fail(std::current_exception());
                return;
            }
            takeFileStep(std::move(*step), std::move(examine), std::move(settle), std::move(done));
        });
    });
}

template <class Step, class Examine, class Settle, class Result>
void LinkStore::takeFileStep(Step step, Examine examine, Settle settle, detail::Settlement<Result> done)
{
    using Pending = std::variant_alternative_t<1, Step>;
    using Found = std::invoke_result_t<Examine&, const Pending&>;
    using Settled = std::invoke_result_t<Settle&, SQLiteStore&, const Pending&, const Found&>;
    if (step.index() == 0) {
        done.settle([&] { return std::get<0>(std::move(step)); });
        return;
    }
    auto pending = std::make_shared<const Pending>(std::get<1>(std::move(step)));
    m_filePool->post([this, examine, settle, pending, done]() mutable {
        std::shared_ptr<const Found> found;
        try {
            found = std::make_shared<const Found>(examine(*pending));
        } catch (...) {
            done.fail(std::current_exception());
            return;
        }
        onStoreThread(done, [this, examine, settle, pending, found, done]() mutable {
            if constexpr (std::is_same_v<Settled, Result>) {
                done.settle([&] { return settle(database(), *pending, *found); });
            } else {
                std::optional<Step> next;
                try {
                    next.emplace(settle(database(), *pending, *found));
                } catch (...) {
                    done.fail(std::current_exception());
                    return;
                }
                takeFileStep(std::move(*next), std::move(examine), std::move(settle), std::move(done));
            }
        });
    });
}

} // namespace morvane
