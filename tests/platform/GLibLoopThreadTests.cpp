#include "DestroyedFlag.h"
#include "foundation/StoreExecutor.h"
#include "platform/GLibLoopThread.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

using namespace morvane;
using morvane::test::DestroyedFlag;
using namespace std::chrono_literals;

// Stopped from outside, the thread runs what was queued, in order, then ends; a job posted after the
// stop is refused and let go unrun.
TEST(GLibLoopThread, StopRunsWhatIsQueuedThenRefusesJobs)
{
    GLibLoopThread thread("test-loop");
    std::vector<int> ran; // written on the thread only, read once it ended
    for (int job = 0; job < 3; ++job)
        ASSERT_TRUE(thread.post([&ran, job] { ran.push_back(job); }));
    EXPECT_TRUE(thread.stop());
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));

    bool lateRan = false;
    DestroyedFlag late;
    std::future<void> lateReleased = late.destroyed->get_future();
    EXPECT_FALSE(thread.post([&lateRan, late] { lateRan = true; }));
    late.destroyed.reset();
    ASSERT_EQ(lateReleased.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(lateRan);
    EXPECT_TRUE(thread.stop()) << "a second stop answers the first's";
}

// The last owner may be one of the thread's own jobs: the thread cannot join itself, so it ends once
// that job returns, and the jobs queued behind it (which may reach what is being destroyed) are let go
// unrun.
TEST(GLibLoopThread, StoppedFromItsOwnJobItEndsOnceThatJobReturns)
{
    auto thread = std::make_shared<GLibLoopThread>("test-loop");
    std::promise<void> go;
    std::shared_future<void> started = go.get_future().share();
    std::promise<bool> stoppedOnItsThread;
    std::weak_ptr<GLibLoopThread> watched = thread;
    ASSERT_TRUE(thread->post([thread, started, &stoppedOnItsThread]() mutable {
        started.wait();
        const bool current = thread->isCurrent();
        thread.reset(); // the last owner: destroyed here, on its own thread
        stoppedOnItsThread.set_value(current);
    }));
    bool queuedRan = false;
    DestroyedFlag queued;
    std::future<void> queuedReleased = queued.destroyed->get_future();
    ASSERT_TRUE(thread->post([&queuedRan, queued] { queuedRan = true; }));
    queued.destroyed.reset();
    thread.reset();
    go.set_value();

    std::future<bool> stopped = stoppedOnItsThread.get_future();
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(stopped.get());
    EXPECT_TRUE(watched.expired());
    ASSERT_EQ(queuedReleased.wait_for(10s), std::future_status::ready) << "the queued job was never let go";
    EXPECT_FALSE(queuedRan);
}

// A job held inside a call that does not return (another program stopped) does not hold the stop for
// longer than its wait: the thread is let go, and the jobs it had not started are dropped there and
// then, so that whoever waits on them is released (with an error, not a missing result) without
// waiting for the stuck call. Once that call returns the thread ends without running them.
TEST(GLibLoopThread, ABoundedStopLetsAThreadStuckInACallGoAndReleasesWhatWaitsOnItsQueue)
{
    auto stuck = std::make_shared<std::promise<void>>();
    std::shared_future<void> answered = stuck->get_future().share();
    std::promise<void> inside;
    std::atomic<int> queuedRan{0};
    DestroyedFlag stuckJob;
    std::future<void> stuckReleased = stuckJob.destroyed->get_future();
    std::vector<QFuture<int>> waited;
    {
        GLibLoopThread thread("test-loop");
        ASSERT_TRUE(thread.post([answered, &inside, stuckJob] {
            inside.set_value();
            answered.wait();
        }));
        stuckJob.destroyed.reset();
        for (int job = 0; job < 3; ++job)
            waited.push_back(startPromised(
                [&queuedRan, job] {
                    ++queuedRan;
                    return job;
                },
                [&thread](std::function<void()> run) { return thread.post(std::move(run)); }));
        ASSERT_EQ(inside.get_future().wait_for(10s), std::future_status::ready);
        EXPECT_FALSE(thread.stop(20ms));
    }
    for (const QFuture<int>& future : waited) {
        ASSERT_TRUE(future.isFinished()) << "a waiter on a dropped job was left waiting";
        EXPECT_THROW(future.result(), ExecutorClosedError);
    }
    stuck->set_value();
    ASSERT_EQ(stuckReleased.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(queuedRan.load(), 0);
}

// A bounded stop of a thread that keeps up still runs what was queued before it ends (an owner's last
// clean-up job among them).
TEST(GLibLoopThread, ABoundedStopRunsTheQueueWhenTheThreadKeepsUp)
{
    GLibLoopThread thread("test-loop");
    std::vector<int> ran; // written on the thread only, read once it ended
    for (int job = 0; job < 3; ++job)
        ASSERT_TRUE(thread.post([&ran, job] { ran.push_back(job); }));
    EXPECT_TRUE(thread.stop(10s));
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
}

// A thread let go inside a call that another program answers only while the process exits never comes
// back into the exit sequence (static objects destroyed under it): the process ends first, with its
// status. Without the settling, the probe's thread does come back: it sees the destroyed objects.
TEST(GLibLoopThread, AThreadLetGoNeverComesBackIntoTheExitSequence)
{
    struct Case {
        const char* mainEnds;
        bool staticsDestroyed;
        bool cameBack;
    };
    for (const Case& c : {Case{"settled", false, false}, {"return", true, true}}) {
        QProcess probe;
        probe.start(THREAD_LET_GO_PROBE, {c.mainEnds});
        ASSERT_TRUE(probe.waitForFinished(20000)) << c.mainEnds;
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << c.mainEnds;
        EXPECT_EQ(probe.exitCode(), 3) << c.mainEnds;
        const QByteArray said = probe.readAllStandardOutput();
        EXPECT_EQ(said.contains("statics destroyed"), c.staticsDestroyed)
            << c.mainEnds << ": " << said.data();
        EXPECT_EQ(said.contains("came back during exit"), c.cameBack) << c.mainEnds << ": " << said.data();
    }
}
