#include "StoreExecutor.h"

#include <pthread.h>

namespace morvane {

ExecutorClosedError::ExecutorClosedError()
    : Error(QStringLiteral("The library is closing."))
{
}

StoreExecutor::StoreExecutor(const char* threadName)
{
    m_thread = std::thread([this] { runLoop(); });
    m_threadId = m_thread.get_id();
    pthread_setname_np(m_thread.native_handle(), threadName);
}

StoreExecutor::~StoreExecutor()
{
    shutdown();
}

bool StoreExecutor::isCurrentThread() const
{
    return std::this_thread::get_id() == m_threadId;
}

void StoreExecutor::shutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable() && !isCurrentThread())
        m_thread.join();
}

bool StoreExecutor::enqueue(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void StoreExecutor::runLoop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return; // stopping, and everything queued has run
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

} // namespace morvane
