#include "SpanSums.h"

#include "graph/VectorUnits.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace morvane::lines {

namespace {

using Lanes = std::int32_t __attribute__((vector_size(4 * spanSteps)));
using FloatLanes = float __attribute__((vector_size(4 * spanSteps)));
using DepthLanes = std::uint16_t __attribute__((vector_size(2 * spanSteps)));
static_assert(maxDepth == 0xffff);

[[gnu::always_inline]] inline DepthLanes addSaturatingPortable(DepthLanes depths, DepthLanes added)
{
    const DepthLanes sum = depths + added;
    // A lane that wrapped around came out below what it started from.
    return sum < depths ? DepthLanes{} + std::uint16_t(maxDepth) : sum;
}

template <DepthLanes (*addSaturating)(DepthLanes, DepthLanes)>
[[gnu::always_inline]] inline void sumSpansWith(std::uint16_t* depth, std::ptrdiff_t stride,
                                                const SpanLine& given, const SpanPolynomial& polynomial)
{
    const SpanLine line = given;
    const SpanPolynomial poly = polynomial;
    Lanes ramp;
    for (int k = 0; k < spanSteps; ++k)
        ramp[k] = std::int32_t(line.slope * k);
    std::int64_t top = line.top;
    int u = line.first;
    for (int group = 0; group < line.groups; ++group, u += spanSteps, top += spanSteps * line.slope) {
        const std::int64_t lastTop = top + (spanSteps - 1) * line.slope;
        const auto low = int(std::min(top, lastTop) >> fractionBits);
        const auto high = int((std::max(top, lastTop) + line.thickness - 1) >> fractionBits);
        const Lanes upper = std::int32_t(top - (std::int64_t(low) << fractionBits)) + ramp;
        const Lanes lower = upper + std::int32_t(line.thickness);
        const int from = std::max(low, line.minorFirst);
        const int to = std::min(high, line.minorLast);
        std::uint16_t* at = depth + std::ptrdiff_t(from) * stride + u;
        for (int m = from; m <= to; ++m, at += stride) {
            const auto pixelTop = std::int32_t(m - low) << fractionBits;
            const auto pixelBottom = pixelTop + std::int32_t(one);
            const Lanes entered = upper > pixelTop ? upper : pixelTop;
            const Lanes left = lower < pixelBottom ? lower : pixelBottom;
            Lanes covered = left - entered;
            covered = covered > 0 ? covered : 0;
            const FloatLanes c = __builtin_convertvector(covered, FloatLanes);
            const FloatLanes added = c * (poly.p0 + c * (poly.p1 + c * poly.p2)) + 0.5f;
            const DepthLanes increase =
                __builtin_convertvector(__builtin_convertvector(added, Lanes), DepthLanes);
            DepthLanes sum;
            std::memcpy(&sum, at, sizeof sum);
            sum = addSaturating(sum, increase);
            std::memcpy(at, &sum, sizeof sum);
        }
    }
}

void sumSpansPortable(std::uint16_t* depth, std::ptrdiff_t stride, const SpanLine& line,
                      const SpanPolynomial& polynomial)
{
    sumSpansWith<addSaturatingPortable>(depth, stride, line, polynomial);
}

#if defined(__x86_64__)
[[gnu::always_inline]] inline DepthLanes addSaturatingSse2(DepthLanes depths, DepthLanes added)
{
    return DepthLanes(_mm_adds_epu16(__m128i(depths), __m128i(added)));
}

__attribute__((target("avx2"))) void sumSpansAvx2(std::uint16_t* depth, std::ptrdiff_t stride,
                                                  const SpanLine& line, const SpanPolynomial& polynomial)
{
    sumSpansWith<addSaturatingSse2>(depth, stride, line, polynomial);
}
#endif

} // namespace

void sumSpans(std::uint16_t* depth, std::ptrdiff_t stride, const SpanLine& line,
              const SpanPolynomial& polynomial)
{
#if defined(__x86_64__)
    if (vectorUnits() >= VectorUnits::avx2)
        return sumSpansAvx2(depth, stride, line, polynomial);
#endif
    sumSpansPortable(depth, stride, line, polynomial);
}

} // namespace morvane::lines
