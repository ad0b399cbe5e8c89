#include "DestroyedFlag.h"
#include "TestEnvironment.h"

#include "platform/AtspiAccessibilityApi.h"
#include "platform/SessionBus.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

// Every layer that opens the session bus asks the one check: a bus announced in the environment, or
// the user's bus socket in the runtime folder; a plain file there is no bus.
TEST(SessionBusPresence, AnAnnouncedBusOrTheRuntimeSocketCountsAndNothingElse)
{
    const QString runtime = QDir(testHome()).filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    const ScopedEnvironmentVariable runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const ScopedEnvironmentVariable announced("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    EXPECT_FALSE(hasSessionBus()) << "nothing announced, no socket";

    {
        QFile plain(runtime + QStringLiteral("/bus"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(hasSessionBus()) << "a plain file named bus";
    ASSERT_TRUE(QFile::remove(runtime + QStringLiteral("/bus")));

    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(runtime + QStringLiteral("/bus"));
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_TRUE(hasSessionBus()) << "the user's bus socket";
    ::close(socket);

    const ScopedEnvironmentVariable busAddress("DBUS_SESSION_BUS_ADDRESS",
                                               QByteArray("unix:path=/nonexistent"));
    EXPECT_TRUE(hasSessionBus()) << "an announced bus";
    const ScopedEnvironmentVariable noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_TRUE(hasSessionBus()) << "an announced bus without a runtime folder";
}

// The last owner may let the accessibility layer go from one of its own jobs (a job that held it
// ends last): the thread then cannot be joined, ends by itself once that job returns, and runs none
// of the jobs queued behind it, which would reach the destroyed layer; they are destroyed unrun.
TEST(AtspiAccessibilityThread, EndedFromItsOwnJobItDropsWhatIsQueuedAndEnds)
{
    // No bus: the layer reads nothing, but its thread and queue are the real ones.
    const ScopedEnvironmentVariable announced("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    auto api = std::make_shared<AtspiAccessibilityApi>();
    ASSERT_EQ(api->refreshTrust().result(), AccessibilityTrust::notAvailable);

    std::promise<void> mainLetGo;
    std::shared_future<void> letGo = mainLetGo.get_future().share();
    std::promise<bool> endedOnItsThread;
    AccessibilityApi* raw = api.get();
    ASSERT_TRUE(raw->post([api, letGo, &endedOnItsThread]() mutable {
        letGo.wait();
        const std::thread::id here = std::this_thread::get_id();
        api.reset(); // the last owner: destroyed here, on its own thread
        endedOnItsThread.set_value(std::this_thread::get_id() == here);
    }));
    bool queuedRan = false;
    DestroyedFlag queued;
    std::future<void> queuedDestroyed = queued.destroyed->get_future();
    ASSERT_TRUE(raw->post([&queuedRan, queued] { queuedRan = true; }));
    queued.destroyed.reset();
    api.reset();
    mainLetGo.set_value();

    std::future<bool> ended = endedOnItsThread.get_future();
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(ended.get());
    ASSERT_EQ(queuedDestroyed.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the queued job was never let go";
    EXPECT_FALSE(queuedRan);
}

// Ended from another thread it still runs what was queued before it, then joins.
TEST(AtspiAccessibilityThread, EndedFromOutsideItRunsWhatIsQueuedFirst)
{
    const ScopedEnvironmentVariable announced("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    auto api = std::make_unique<AtspiAccessibilityApi>();
    int ran = 0;
    for (int job = 0; job < 3; ++job)
        ASSERT_TRUE(api->post([&ran] { ++ran; }));
    api.reset();
    EXPECT_EQ(ran, 3);
}

// At the application's quit a job inside a read that does not return (the bus or an application
// stopped) is not waited for: the layer is let go with the thread, the jobs queued behind it are
// dropped and whoever waits on them released, and the job, once its read returns, reads on through the
// layer it was given (still there, answering nothing more) and ends.
TEST(AtspiAccessibilityThread, AtTheQuitAJobInsideAReadIsLeftRunningAndTheQueueIsDropped)
{
    const ScopedEnvironmentVariable announced("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    std::shared_ptr<AtspiAccessibilityApi> api = AtspiAccessibilityApi::create();
    std::promise<void> inside;
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    QFuture<qsizetype> stuck = api->run([&inside, answered](AccessibilityElements& reads) {
        inside.set_value();
        answered.wait(); // a read the other side does not answer
        return reads.applications().size() + reads.children(AccessibilityElement{1}).size();
    });
    QFuture<int> queued = api->run([](AccessibilityElements&) { return 1; });
    ASSERT_EQ(inside.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    std::future<void> letGo = std::async(std::launch::async, [&api] { api.reset(); });
    const bool letGoWithoutTheJob = letGo.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    answer.set_value();
    ASSERT_TRUE(letGoWithoutTheJob) << "going away waited for the job inside a read";
    ASSERT_TRUE(queued.isFinished()) << "a waiter on a dropped job was left waiting";
    EXPECT_THROW(queued.result(), ExecutorClosedError);

    stuck.waitForFinished();
    EXPECT_EQ(stuck.result(), 0);
}
