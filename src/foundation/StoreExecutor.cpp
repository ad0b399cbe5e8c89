#include "StoreExecutor.h"

#include "Logging.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include <pthread.h>

MORVANE_LOGGING_CATEGORY(lcExecutor, "StoreExecutor")

namespace morvane {

ExecutorClosedError::ExecutorClosedError()
    : Error(QStringLiteral("The library is closing."))
{
}

WrongThreadError::WrongThreadError(const char* what)
    : Error(QStringLiteral("%1 was reached outside the library's thread.").arg(QString::fromUtf8(what)))
{
}

struct StoreExecutor::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;

    // Runs the next job; false once stopping with nothing left (or, unless waiting, nothing queued).
    bool runNext(bool wait)
    {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex);
            if (wait)
                wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return false;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
        return true;
    }
};

StoreExecutor::StoreExecutor(const char* threadName)
    : m_queue(std::make_shared<Queue>())
{
    // The loop holds its own reference: it never touches this object, which may be gone before the
    // loop ends when the executor is destroyed from its own work.
    m_thread = std::thread([queue = m_queue] {
        while (queue->runNext(true)) {
        }
    });
    m_threadId = m_thread.get_id();
    pthread_setname_np(m_thread.native_handle(), threadName);
}

StoreExecutor::~StoreExecutor()
{
    shutdown();
    // Still joinable only when destroyed on the worker: the queue is drained, and the loop ends as
    // soon as the running job returns. Joining itself would throw.
    if (m_thread.joinable())
        m_thread.detach();
}

bool StoreExecutor::isCurrentThread() const
{
    return std::this_thread::get_id() == m_threadId;
}

void StoreExecutor::requireCurrentThread(const char* what) const
{
    if (isCurrentThread())
        return;
    qCCritical(lcExecutor) << what << "was reached outside the library's thread; the call is refused";
    throw WrongThreadError(what);
}

void StoreExecutor::shutdown()
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->stopping = true;
    }
    m_queue->wake.notify_all();
    if (isCurrentThread()) {
        // The running job is waiting for us, so nothing else would run what is queued.
        while (m_queue->runNext(false)) {
        }
        return;
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool StoreExecutor::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_queue->mutex);
        if (m_queue->stopping)
            return false;
        m_queue->jobs.push_back(std::move(job));
    }
    m_queue->wake.notify_one();
    return true;
}

} // namespace morvane
