// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/flushing_dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace faust_engine {

namespace {

class FlushDenormals {
 public:
#if defined(__x86_64__) || defined(__i386__)
  // Flush to zero (bit 15) and denormals are zero (bit 6).
  FlushDenormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }
  ~FlushDenormals() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#endif
};

}  // namespace

void FlushingDsp::compute(int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs) {
  FlushDenormals flushing;
  fDSP->compute(count, inputs, outputs);
}

void FlushingDsp::compute(double date, int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs) {
  FlushDenormals flushing;
  fDSP->compute(date, count, inputs, outputs);
}

FlushingDsp* FlushingDsp::clone() {
  dsp* inner = fDSP->clone();
  return inner ? new FlushingDsp(inner) : nullptr;
}

}  // namespace faust_engine
