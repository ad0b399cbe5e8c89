#include "ParallelParts.h"

#include "GraphWorkPool.h"

namespace morvane {

namespace {

GraphWorkPool& drawingPool()
{
    static GraphWorkPool pool;
    return pool;
}

} // namespace

int parallelParts()
{
    return GraphWorkPool::defaultThreads();
}

void inParallel(int parts, const std::function<void(int)>& work)
{
    drawingPool().inParallel(parts, work);
}

} // namespace morvane
