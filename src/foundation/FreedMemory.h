#pragma once

namespace morvane {

// Gives what the allocator keeps of freed memory, in every thread's heap, back to the system. It walks
// the heaps: for after (or every so often during) work that freed much, not for a loop.
void releaseFreedMemory() noexcept;

} // namespace morvane
