#pragma once

namespace morvane {

// Gives what the allocator keeps of freed memory, in every thread's heap, back to the system. It walks
// the heaps: for after (or every so often during) work that freed much, not for a loop.
void releaseFreedMemory() noexcept;

// Makes every block of more than 128 KiB a mapping of its own, given back to the system when freed, for
// the whole process: for its start, before any thread. The allocator otherwise raises that bound to the
// largest such block freed so far (megabytes, after a sync pass's lists), and the blocks below it then
// come from its heaps, where what they leave when freed stays resident among the blocks still in use.
void mapLargeBlocks() noexcept;

} // namespace morvane
