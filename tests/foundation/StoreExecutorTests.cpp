#include "foundation/StoreExecutor.h"

#include <QCoroFuture>
#include <QCoroTask>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace morvane;

namespace {

class DistinctError : public Error {
public:
    explicit DistinctError(int code)
        : Error(QStringLiteral("distinct %1").arg(code))
        , code(code)
    {
    }
    int code;
};

TEST(StoreExecutor, WorkRunsOffTheCallingThreadAndWorkerOnlyCodeRefusesOthers)
{
    StoreExecutor executor;
    EXPECT_FALSE(executor.isCurrentThread());
    EXPECT_TRUE(executor.submit([&executor] { return executor.isCurrentThread(); }).result());

    // Checked in every build type, not only where assertions are compiled in.
    EXPECT_THROW(executor.requireCurrentThread("The test"), WrongThreadError);
    EXPECT_NO_THROW(
        executor.submit([&executor] { executor.requireCurrentThread("The test"); }).waitForFinished());
}

TEST(StoreExecutor, ATypedErrorIsCaughtByTypeAfterAwaiting)
{
    StoreExecutor executor;
    auto task = [&executor]() -> QCoro::Task<int> {
        try {
            co_await executor.submit([]() -> int { throw DistinctError(7); });
        } catch (const DistinctError& error) {
            co_return error.code;
        }
        co_return -1;
    };
    EXPECT_EQ(QCoro::waitFor(task()), 7);

    // Work after the failed item still runs.
    EXPECT_EQ(executor.submit([] { return 3; }).result(), 3);
}

TEST(StoreExecutor, ShutdownDrainsQueuedWorkAndRefusesNewWork)
{
    std::atomic<int> ran{0};
    auto executor = std::make_unique<StoreExecutor>();
    for (int i = 0; i < 100; ++i)
        executor->submit([&ran] {
            std::this_thread::yield();
            ++ran;
        });
    executor->shutdown();
    EXPECT_EQ(ran.load(), 100);

    QFuture<int> late = executor->submit([] { return 1; });
    EXPECT_THROW(late.result(), ExecutorClosedError);
    executor.reset();
}

// A job refused, or taken and then let go without running (its thread stopped first), ends its future
// with the closed error: a waiter is released and catches it, never reads a result that is not there.
TEST(StartPromised, AJobLetGoUnrunEndsItsFutureWithTheClosedError)
{
    QFuture<int> refused = startPromised([] { return 1; }, [](std::function<void()>) { return false; });
    EXPECT_THROW(refused.result(), ExecutorClosedError);

    std::function<void()> kept;
    QFuture<int> dropped = startPromised([] { return 2; },
                                         [&kept](std::function<void()> job) {
                                             kept = std::move(job);
                                             return true;
                                         });
    EXPECT_FALSE(dropped.isFinished());
    kept = nullptr;
    ASSERT_TRUE(dropped.isFinished());
    EXPECT_THROW(dropped.result(), ExecutorClosedError);

    QFuture<int> ran = startPromised([] { return 3; },
                                     [](std::function<void()> job) {
                                         job();
                                         return true;
                                     });
    EXPECT_EQ(ran.result(), 3);
}

TEST(StoreExecutor, DestroyedByItsOwnWorkItStillRunsWhatWasQueued)
{
    auto executor = std::make_unique<StoreExecutor>();
    std::promise<void> queued;
    std::vector<std::string> order; // touched only on the worker
    QFuture<void> dropping = executor->submit([&, ready = queued.get_future().share()] {
        ready.wait();
        executor.reset(); // the owner's last reference dropped inside its own work
        order.push_back("destroyed");
    });
    QFuture<void> queuedWork = executor->submit([&order] { order.push_back("queued work"); });
    queued.set_value();

    dropping.waitForFinished();
    queuedWork.waitForFinished();
    // Queued work ran before the destruction returned, while what it may refer to still existed.
    EXPECT_EQ(order, (std::vector<std::string>{"queued work", "destroyed"}));
}

} // namespace
