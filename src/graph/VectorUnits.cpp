#include "VectorUnits.h"

#include <algorithm>
#include <atomic>

namespace morvane {

namespace {

VectorUnits available()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2"))
        return VectorUnits::portable;
    return __builtin_cpu_supports("avx512f") ? VectorUnits::avx512 : VectorUnits::avx2;
#else
    return VectorUnits::portable;
#endif
}

std::atomic<VectorUnits> limit = VectorUnits::avx512;

} // namespace

VectorUnits vectorUnits()
{
    static const VectorUnits units = available();
    return std::min(units, limit.load(std::memory_order_relaxed));
}

void limitVectorUnits(VectorUnits widest)
{
    limit.store(widest, std::memory_order_relaxed);
}

} // namespace morvane
