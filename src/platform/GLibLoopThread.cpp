// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <glib.h>

#include "GLibLoopThread.h"

#include "foundation/ThreadHandOff.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <pthread.h>
#include <unistd.h>

namespace morvane {

namespace {

struct ThreadLetGo {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

struct ThreadsLetGo {
    std::mutex mutex;
    std::condition_variable ended; // a thread let go, or any other, came to its end
    std::vector<ThreadLetGo> threads;
};

ThreadsLetGo& threadsLetGo()
{
    // Never destroyed: a thread may be let go while static objects are being destroyed.
    static auto* const threads = new ThreadsLetGo;
    return *threads;
}

} // namespace

struct GLibLoopThread::State {
    GMainContext* context;
    GMainLoop* loop;
    std::mutex mutex;
    std::condition_variable finishedChanged;
    std::deque<std::function<void()>> jobs; // posted, not started
    bool closed = false;                    // no more jobs are taken
    bool dropQueued = false;                // stopped from a job: those behind it never run
    bool finished = false;                  // the thread has left its loop

    explicit State(GMainContext* given)
        : context(given ? g_main_context_ref(given) : g_main_context_new())
        , loop(g_main_loop_new(context, FALSE))
    {
    }
    ~State()
    {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // The job the next idle source runs; none once the queue was dropped. Each source takes one.
    std::function<void()> next()
    {
        std::function<void()> job;
        const std::lock_guard lock(mutex);
        if (!jobs.empty()) {
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        if (dropQueued)
            return {}; // let go here, outside the lock
        return job;
    }

    // Lets go of what is still queued, outside the lock (a job's captures may post again).
    void dropAll()
    {
        std::deque<std::function<void()>> dropped;
        const std::lock_guard lock(mutex);
        dropQueued = true;
        dropped.swap(jobs);
    }
};

GLibLoopThread::GLibLoopThread(const char* name, GMainContext* context)
    : m_state(std::make_shared<State>(context))
{
    m_thread = std::thread([state = m_state, done = m_done, name = std::string(name)]() mutable {
        pthread_setname_np(pthread_self(), name.c_str());
        g_main_context_push_thread_default(state->context);
        g_main_loop_run(state->loop);
        g_main_context_pop_thread_default(state->context);
        {
            const std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->finishedChanged.notify_all();
        // The context and the loop may go with it, and with them what its sources still hold.
        state.reset();
        ThreadsLetGo& letGo = threadsLetGo();
        {
            const std::lock_guard lock(letGo.mutex);
            done->store(true, std::memory_order_release);
        }
        letGo.ended.notify_all();
    });
    m_id = m_thread.get_id();
}

GLibLoopThread::~GLibLoopThread()
{
    stop();
}

bool GLibLoopThread::post(std::function<void()> run)
{
    const std::lock_guard lock(m_state->mutex);
    if (m_state->closed)
        return false;
    m_state->jobs.push_back(std::move(run));
    // The source holds the state weakly: it belongs to the state's context.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) {
            // GLib's own queue of sources hands the source over: the race checker cannot see it.
            MORVANE_TAKE_OVER(&handOffPoint<GLibLoopThread>);
            if (const std::shared_ptr<State> state = static_cast<std::weak_ptr<State>*>(data)->lock()) {
                if (const std::function<void()> job = state->next())
                    job();
            }
            return G_SOURCE_REMOVE;
        },
        new std::weak_ptr<State>(m_state),
        [](gpointer data) { delete static_cast<std::weak_ptr<State>*>(data); });
    MORVANE_HAND_OFF(&handOffPoint<GLibLoopThread>);
    g_source_attach(source, m_state->context);
    g_source_unref(source);
    return true;
}

bool GLibLoopThread::isCurrent() const
{
    return std::this_thread::get_id() == m_id;
}

GMainContext* GLibLoopThread::context() const
{
    return m_state->context;
}

bool GLibLoopThread::stop(std::chrono::milliseconds wait)
{
    if (std::exchange(m_stopped, true))
        return m_ended;
    const bool fromOwnJob = isCurrent();
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
        // Each is let go by its own source, after the job that stops the thread returned.
        m_state->dropQueued = fromOwnJob;
    }
    // At a lower priority than the jobs: what is queued runs first.
    GSource* quit = g_idle_source_new();
    g_source_set_priority(quit, G_PRIORITY_LOW);
    g_source_set_callback(
        quit,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        g_main_loop_ref(m_state->loop),
        [](gpointer loop) { g_main_loop_unref(static_cast<GMainLoop*>(loop)); });
    g_source_attach(quit, m_state->context);
    g_source_unref(quit);
    if (fromOwnJob) {
        letGo();
        return m_ended = false;
    }
    {
        std::unique_lock lock(m_state->mutex);
        const auto finished = [this] { return m_state->finished; };
        if (wait == unbounded)
            m_state->finishedChanged.wait(lock, finished);
        else
            m_state->finishedChanged.wait_for(lock, wait, finished);
        m_ended = m_state->finished;
    }
    if (m_ended) {
        m_thread.join();
    } else {
        letGo();
        m_state->dropAll(); // what is let go here is destroyed on this thread
    }
    return m_ended;
}

void GLibLoopThread::letGo()
{
    ThreadsLetGo& letGo = threadsLetGo();
    const std::lock_guard lock(letGo.mutex);
    letGo.threads.push_back({std::move(m_thread), m_done});
}

bool GLibLoopThread::joinThreadsLetGo(std::chrono::milliseconds wait)
{
    std::vector<ThreadLetGo> ended;
    bool stillOut = false;
    {
        ThreadsLetGo& letGo = threadsLetGo();
        std::unique_lock lock(letGo.mutex);
        const auto isDone = [](const ThreadLetGo& thread) {
            return thread.done->load(std::memory_order_acquire);
        };
        letGo.ended.wait_for(lock, wait,
                             [&] { return std::all_of(letGo.threads.begin(), letGo.threads.end(), isDone); });
        for (auto entry = letGo.threads.begin(); entry != letGo.threads.end();) {
            if (isDone(*entry)) {
                ended.push_back(std::move(*entry));
                entry = letGo.threads.erase(entry);
            } else {
                stillOut = true;
                ++entry;
            }
        }
    }
    // Only what is left of each (its thread's own data) is waited for.
    for (ThreadLetGo& thread : ended)
        thread.thread.join();
    return !stillOut;
}

int GLibLoopThread::settleThreadsLetGo(int status)
{
    if (!joinThreadsLetGo()) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}

} // namespace morvane
