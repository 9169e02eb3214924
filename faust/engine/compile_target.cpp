// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/compile_target.h"

namespace faust_engine {

std::string CompileTarget(const std::string& machineTarget, bool cpuHasV3) {
  const size_t colon = machineTarget.find(':');
  if (!cpuHasV3 || colon == 0 || machineTarget.rfind("x86_64", 0) != 0) return {};
  return machineTarget.substr(0, colon) + ":x86-64-v3";
}

}  // namespace faust_engine
