// Lets a GLib loop thread go while it is inside a call that a service answers only once the process
// exits (a static object's destructor answers it), and says whether the thread came back into the
// exit sequence. main() ends through settleThreadsLetGo(3), or with "return" as its argument returns 3
// without it.
// Prints "statics destroyed" when static objects were destroyed, and "came back during exit" when the
// thread returned from its call after that.
#include "platform/GLibLoopThread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>

using namespace std::chrono_literals;

namespace {

std::atomic<bool> staticsDestroyed{false}; // constant-initialised: never destroyed

// The other program: it answers the call only while the process exits, and waits a moment for the
// caller to come back from it.
struct LateService {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::promise<void> back;
    std::future<void> cameBack = back.get_future();

    ~LateService()
    {
        answer.set_value();
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::promise<void> inside;
    {
        morvane::GLibLoopThread thread("let-go-probe");
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
    if (std::strcmp(argv[1], "return") == 0)
        return 3;
    return morvane::GLibLoopThread::settleThreadsLetGo(3);
}
