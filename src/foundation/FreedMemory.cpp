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

void mapLargeBlocks() noexcept
{
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

} // namespace morvane
