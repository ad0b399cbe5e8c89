#include "FreedMemory.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace morvane {

void releaseFreedMemory() noexcept
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void keepLittleFreedMemory() noexcept
{
#ifdef __GLIBC__
    // By default the allocator raises this bound to twice the largest block it ever gave back to the
    // system, up to 64 MiB: after a large import or sync had freed its buffers, every thread's heap
    // kept up to that much at its top, which a trim does not reach in the heaps of threads other than
    // the main one (a 100,000-link import left about 15 MB resident that way).
    constexpr int keptAtTheTop = 1024 * 1024;
    ::mallopt(M_TRIM_THRESHOLD, keptAtTheTop);
    // Fixing that bound also fixes the size from which a block gets a mapping of its own, at 128 KiB,
    // where by default it rises with the blocks freed: the graph's layout, which takes and frees arrays
    // of a few hundred kilobytes at each step, would map and unmap them each time. Blocks below this
    // come from the heaps, freed into them and trimmed with them.
    constexpr int mappedFrom = 4 * 1024 * 1024;
    ::mallopt(M_MMAP_THRESHOLD, mappedFrom);
#endif
}

} // namespace morvane
