#pragma once

#include <cstddef>
#include <cstdint>

// The innermost loop of the line rasteriser, apart from it: it has a path for wider vector units on
// x86-64 beside the portable one (graph/VectorUnits.h), and includes no Qt header, so it is compiled
// for other architectures on its own.
namespace morvane::lines {

// Positions across a line are walked in fixed point, 16 bits of fraction.
constexpr int fractionBits = 16;
constexpr std::int64_t one = std::int64_t(1) << fractionBits;
// The deepest depth a pixel can hold: it shows the colour alone.
constexpr std::uint32_t maxDepth = 65535;
// Steps along a line summed at once.
constexpr int spanSteps = 8;

// The depth a line adds over a pixel it covers by c (16.16 fixed point, up to one), as
// c × (p0 + p1 c + p2 c²).
struct SpanPolynomial {
    float p0;
    float p1;
    float p2;
};

// One line summed into depths eight steps at a time: `groups` runs of eight steps from `first`, where
// the thickness starts at `top` (16.16 fixed point, across the line) and moves by `slope` per step.
// Depths are laid out with the steps along the line contiguous and `stride` between pixels across
// it; only the pixels across it in [minorFirst, minorLast] are touched.
struct SpanLine {
    int first;
    int groups;
    std::int64_t top;
    std::int64_t slope;
    std::int64_t thickness;
    int minorFirst;
    int minorLast;
};

// Adds the line's depths, saturating at maxDepth, where a pixel shows the colour alone anyway.
void sumSpans(std::uint16_t* depth, std::ptrdiff_t stride, const SpanLine& line,
              const SpanPolynomial& polynomial);

} // namespace morvane::lines
