#include "GraphWorkPool.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace morvane {

namespace {

// What the helpers of one inParallel() share. A helper that starts after the caller has returned
// finds no part left and touches nothing but this. The standard mutex rather than Qt's: the thread
// checker sees the order its every wait makes (Qt's, once contended, waits inside QtCore).
struct Shares {
    explicit Shares(int parts, const std::function<void(int)>& work)
        : parts(parts)
        , work(&work)
    {
    }
    const int parts;
    const std::function<void(int)>* work;
    std::atomic<int> next = 0;
    std::mutex mutex;
    std::condition_variable allDone;
    int done = 0;

    // Runs parts until none is left.
    void take()
    {
        int finished = 0;
        for (int part = next++; part < parts; part = next++) {
            (*work)(part);
            ++finished;
        }
        if (finished == 0)
            return;
        const std::lock_guard lock(mutex);
        done += finished;
        if (done == parts)
            allDone.notify_all();
    }
};

} // namespace

GraphWorkPool::GraphWorkPool(int threads)
    : m_parts(std::max(threads, 1))
{
    m_pool.setObjectName(QStringLiteral("morvane-graph"));
    // The caller of inParallel() takes a share of its own, which leaves a thread for a derivation or
    // a discard running meanwhile.
    m_pool.setMaxThreadCount(m_parts);
}

GraphWorkPool::~GraphWorkPool()
{
    m_pool.waitForDone();
}

int GraphWorkPool::defaultThreads()
{
    return std::clamp(QThread::idealThreadCount(), 1, 8);
}

void GraphWorkPool::inParallel(int parts, const std::function<void(int)>& work)
{
    if (parts <= 1) {
        if (parts == 1)
            work(0);
        return;
    }
    const auto shares = std::make_shared<Shares>(parts, work);
    for (int helper = 1; helper < std::min(parts, m_parts); ++helper)
        post([shares] { shares->take(); });
    shares->take();
    std::unique_lock lock(shares->mutex);
    shares->allDone.wait(lock, [&] { return shares->done == parts; });
}

} // namespace morvane
