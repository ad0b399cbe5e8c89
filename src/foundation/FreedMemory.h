#pragma once

namespace morvane {

// Gives what the allocator keeps of freed memory, in every thread's heap, back to the system. It walks
// the heaps: for after (or every so often during) work that freed much, not for a loop.
void releaseFreedMemory() noexcept;

// Fixes, for the whole process, how much freed memory the allocator may keep at the top of a heap
// before it gives it back, and from what size a block is a mapping of its own: called once, first thing
// in main, before any thread.
void keepLittleFreedMemory() noexcept;

} // namespace morvane
