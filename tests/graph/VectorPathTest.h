#pragma once

#include "graph/VectorUnits.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace morvane {

// A test run once on the portable path of the graph's vector loops and once on the widest units this
// processor has (the same path twice where it has no wider ones):
// INSTANTIATE_TEST_SUITE_P(VectorPaths, Suite, VectorPathTest::paths(), VectorPathTest::name).
class VectorPathTest : public ::testing::TestWithParam<VectorUnits> {
protected:
    void SetUp() override { limitVectorUnits(GetParam()); }
    void TearDown() override { limitVectorUnits(VectorUnits::avx512); }

public:
    static auto paths() { return ::testing::Values(VectorUnits::portable, VectorUnits::avx512); }
    static std::string name(const ::testing::TestParamInfo<VectorUnits>& info)
    {
        return info.param == VectorUnits::portable ? "portable" : "widest";
    }
};

// Runs fn once on each path and hands back both results, portable first.
template <class F> auto onEachVectorPath(F fn)
{
    limitVectorUnits(VectorUnits::portable);
    auto portable = fn();
    limitVectorUnits(VectorUnits::avx512);
    auto widest = fn();
    return std::pair{std::move(portable), std::move(widest)};
}

} // namespace morvane
