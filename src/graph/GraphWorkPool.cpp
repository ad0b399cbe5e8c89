#include "GraphWorkPool.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <memory>

namespace morvane {

namespace {

// What the helpers of one inParallel() share. A helper that starts after the caller has returned
// finds no part left and touches nothing but this.
struct Shares {
    explicit Shares(int parts, const std::function<void(int)>& work)
        : parts(parts)
        , work(&work)
    {
    }
    const int parts;
    const std::function<void(int)>* work;
    std::atomic<int> next = 0;
    QMutex mutex;
    QWaitCondition allDone;
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
        const QMutexLocker lock(&mutex);
        done += finished;
        if (done == parts)
            allDone.wakeAll();
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
    const QMutexLocker lock(&shares->mutex);
    while (shares->done < parts)
        shares->allDone.wait(&shares->mutex);
}

} // namespace morvane
