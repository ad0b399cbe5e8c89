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
    // the main one (a 100,000-link import left about 15 MB resident that way). A fixed bound also keeps
    // blocks of 128 KiB and more in mappings of their own, returned as soon as they are freed.
    constexpr int keptAtTheTop = 1024 * 1024;
    ::mallopt(M_TRIM_THRESHOLD, keptAtTheTop);
#endif
}

} // namespace morvane
