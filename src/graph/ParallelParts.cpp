#include "ParallelParts.h"

#include "GraphWorkPool.h"

namespace morvane {

void inParallel(GraphWorkPool* pool, int parts, const std::function<void(int)>& work)
{
    if (pool) {
        pool->inParallel(parts, work);
        return;
    }
    for (int part = 0; part < parts; ++part)
        work(part);
}

int parallelParts(const GraphWorkPool* pool)
{
    return pool ? pool->parts() : 1;
}

} // namespace morvane
