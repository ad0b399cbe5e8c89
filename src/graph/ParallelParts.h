#pragma once

#include <functional>

namespace morvane {

// How many parts the drawing of a frame is split into: one per processor, at most eight.
int parallelParts();

// Runs work(part) for every part in [0, parts), on the calling thread and threads of a pool kept for
// drawing frames, and returns when all are done. The layout and the loads run on the pool the graph
// is given (GraphWorkPool).
void inParallel(int parts, const std::function<void(int)>& work);

} // namespace morvane
