#pragma once

#include "ParallelParts.h"
#include "foundation/StoreExecutor.h"
#include "foundation/ThreadHandOff.h"

#include <QThreadPool>

#include <functional>

namespace morvane {

// The threads the graph's own work runs on: the layout step's shares, the bands of a frame the window
// draws, a large library's derivation, and freeing what a load replaced. Made once by the application
// and given to the graph, whose views draw on it too; the file pool is kept apart, so the graph never
// waits behind a hash, nor a hash behind a layout step. A frame never queues behind a derivation: the
// caller of inParallel() does every part no thread of the pool has taken.
class GraphWorkPool {
public:
    explicit GraphWorkPool(int threads = defaultThreads());
    // Waits for the work already started.
    ~GraphWorkPool();
    GraphWorkPool(const GraphWorkPool&) = delete;
    GraphWorkPool& operator=(const GraphWorkPool&) = delete;

    // One per processor, at most eight.
    static int defaultThreads();
    // How many parts work the caller waits for is worth splitting into: one per thread of the pool
    // and the caller's own.
    int parts() const { return m_parts; }

    // Starts a job that reports its own outcome.
    void post(std::function<void()> job)
    {
        startHandedOff<GraphWorkPool>(
            std::move(job), [this](std::function<void()> marked) { m_pool.start(std::move(marked)); });
    }
    // The future of what fn returns, or of what it throws, unchanged.
    template <class F> auto run(F fn)
    {
        return startPromised(std::move(fn), [this](std::function<void()> job) {
            post(std::move(job));
            return true;
        });
    }
    // Runs work(part) for every part in [0, parts) on the calling thread and the pool's, each taking
    // the next part left, and returns when all are done. The caller never waits for a part no thread
    // has begun: with the pool busy it does them all itself.
    void inParallel(int parts, const std::function<void(int)>& work);

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
    int m_parts;
};

} // namespace morvane
