// SPDX-License-Identifier: GPL-3.0-or-later
// A compiled program run with the CPU flushing denormals to zero.
#pragma once

#include <faust/dsp/dsp.h>

namespace faust_engine {

/// Runs `compute` with flush-to-zero and denormals-are-zero set, and the caller's floating
/// point mode restored afterwards. Recursive filters decay into denormals, which are slow
/// on x86; flushing them in hardware costs nothing per sample, where Faust's own -ftz adds
/// work to every recursion.
class FlushingDsp final : public decorator_dsp {
 public:
  explicit FlushingDsp(dsp* inner) : decorator_dsp(inner) {}
  void compute(int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs) override;
  void compute(double date, int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs) override;
  FlushingDsp* clone() override;
};

}  // namespace faust_engine
