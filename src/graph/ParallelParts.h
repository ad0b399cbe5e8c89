#pragma once

#include <functional>

namespace morvane {

class GraphWorkPool;

// Runs work(part) for every part in [0, parts) on the calling thread and the pool's, each taking the
// next part left, and returns when all are done; without a pool, on the calling thread alone.
void inParallel(GraphWorkPool* pool, int parts, const std::function<void(int)>& work);
// How many parts work is worth splitting into on the pool (see GraphWorkPool::parts()); one without.
int parallelParts(const GraphWorkPool* pool);

} // namespace morvane
