// Lets a GLib loop thread go while it is inside a call that a service answers only once the process
// exits (a static object's destructor answers it), and says whether the thread came back into the
// exit sequence. The first argument says how main() ends:
//   out     through settleThreadsLetGo(3), the call still out;
//   ended   through settleThreadsLetGo(3), the call answered and the thread ended before;
//   return  returning 3 without it.
// Prints "statics destroyed" when static objects were destroyed, and "came back during exit" when the
// thread returned from its call after that.
#include "platform/GLibLoopThread.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr char threadName[] = "let-go-probe";
std::atomic<bool> staticsDestroyed{false}; // constant-initialised: never destroyed

// The other program: it answers the call when asked, or at the latest while the process exits, and
// waits a moment for the caller to come back from it.
struct LateService {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::atomic<bool> answeredYet{false};
    std::promise<void> back;
    std::future<void> cameBack = back.get_future();

    void respond()
    {
        if (!answeredYet.exchange(true))
            answer.set_value();
    }
    ~LateService()
    {
        respond();
        cameBack.wait_for(5s);
    }
};

// Made first, destroyed last.
LateService service;

// Made after, destroyed first: what a thread coming back would reach.
struct StaticObject {
    ~StaticObject()
    {
        staticsDestroyed = true;
        std::puts("statics destroyed");
        std::fflush(stdout);
    }
} staticObject;

bool threadRuns()
{
    for (const QString& task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == threadName)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string mode = argv[1];
    std::promise<void> inside;
    {
        morvane::GLibLoopThread thread(threadName);
        thread.post([&inside] {
            inside.set_value();
            service.answered.wait();
            if (staticsDestroyed) {
                std::puts("came back during exit");
                std::fflush(stdout);
            }
            service.back.set_value();
        });
        inside.get_future().wait();
        if (thread.stop(10ms))
            return 1;
    }
    if (mode == "ended") {
        service.respond();
        for (int tries = 0; threadRuns() && tries < 500; ++tries)
            std::this_thread::sleep_for(10ms);
    }
    if (mode == "return")
        return 3;
    return morvane::GLibLoopThread::settleThreadsLetGo(3);
}
