#pragma once

namespace morvane {

// Gives what the allocator keeps of freed memory, in every thread's heap, back to the system. It walks
// the heaps: for after (or every so often during) work that freed much, not for a loop.
void releaseFreedMemory() noexcept;

// Sets how much freed memory the allocator may keep at the top of a heap before it gives it back, for
// the whole process: called once, first thing in main.
void keepLittleFreedMemory() noexcept;

} // namespace morvane
