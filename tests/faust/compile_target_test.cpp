// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/compile_target.h"

#include <gtest/gtest.h>

namespace {

// Code for AVX2 and FMA on a CPU without them dies at its first block, so only a CPU that
// has them gets it; everything else keeps libfaust's own choice.
TEST(CompileTargetTest, TheV3LevelOnlyForAnX86CpuThatHasIt) {
  struct Case {
    const char* machine;
    bool hasV3;
    const char* target;
  } cases[] = {
      {"x86_64-pc-linux-gnu:generic", true, "x86_64-pc-linux-gnu:x86-64-v3"},
      {"x86_64-pc-linux-gnu:znver3", true, "x86_64-pc-linux-gnu:x86-64-v3"},
      {"x86_64-pc-linux-gnu", true, "x86_64-pc-linux-gnu:x86-64-v3"},
      {"x86_64-pc-linux-gnu:generic", false, ""},
      {"aarch64-unknown-linux-gnu:generic", true, ""},
      {"", true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(faust_engine::CompileTarget(c.machine, c.hasV3), c.target)
        << c.machine << (c.hasV3 ? " with" : " without") << " v3";
  }
}

}  // namespace
