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

} // namespace morvane
