#pragma once

namespace morvane {

// The vector instructions the graph's innermost loops may use. Every loop has a portable path, plain
// C++ that the compiler vectorises for whatever the target architecture offers; on x86-64 it also has
// paths for the wider units most of its processors have, taken when the processor has them.
// This file and the loops that choose by it include no Qt header: they are compiled for other
// architectures on their own.
enum class VectorUnits { portable, avx2, avx512 };

// The widest units this processor has, no wider than the last limit set.
VectorUnits vectorUnits();
// Caps the units the loops use from now on, so that tests can run the portable path on a processor
// that has wider units and compare the two.
void limitVectorUnits(VectorUnits widest);

} // namespace morvane
