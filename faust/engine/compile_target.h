// SPDX-License-Identifier: GPL-3.0-or-later
// The machine the engine compiles Faust code for.
#pragma once

#include <string>

namespace faust_engine {

/// The LLVM target for libfaust: the x86-64-v3 level (AVX2, FMA) when the CPU has it, which
/// libfaust's own host detection misses on CPUs newer than its LLVM; otherwise empty, for
/// libfaust's own choice. Code is compiled where it runs, so a bundle saved on one machine
/// still gets the baseline on an older one. `machineTarget` is "triple:cpu".
std::string CompileTarget(const std::string& machineTarget, bool cpuHasV3);

}  // namespace faust_engine
