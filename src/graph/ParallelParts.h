#pragma once

#include <functional>

namespace morvane {

// How many parts work that the window waits for is split into: one per processor, at most eight.
int parallelParts();

// Runs work(part) for every part in [0, parts), on the calling thread and threads of a pool of the
// graph's own (the shared pool may be busy hashing files, and the window waits for this), and
// returns when all are done.
void inParallel(int parts, const std::function<void(int)>& work);

} // namespace morvane
