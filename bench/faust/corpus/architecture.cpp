// SPDX-License-Identifier: GPL-3.0-or-later
// The faust command's C++ route for the corpus comparison: renders the program with its
// default parameters and writes each output channel in turn as raw floats.
//   faust -lang cpp -a architecture.cpp FILE.dsp -o render.cpp; g++ ...; ./render FRAMES OUT
#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>
#include <faust/gui/meta.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "corpus_signal.h"

<<includeIntrinsic>>

<<includeclass>>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int frames = std::atoi(argv[1]);
  mydsp program;
  program.init(corpus::kRate);
  const int ins = program.getNumInputs(), outs = program.getNumOutputs();
  std::vector<std::vector<float>> in(ins), out(outs, std::vector<float>(frames));
  for (int c = 0; c < ins; ++c) in[c] = corpus::Input(c, frames);
  std::vector<float*> inPointers(ins), outPointers(outs);
  for (int at = 0; at < frames; at += corpus::kBlock) {
    const int n = std::min(corpus::kBlock, frames - at);
    for (int c = 0; c < ins; ++c) inPointers[c] = in[c].data() + at;
    for (int c = 0; c < outs; ++c) outPointers[c] = out[c].data() + at;
    program.compute(n, inPointers.data(), outPointers.data());
  }
  FILE* file = std::fopen(argv[2], "wb");
  if (!file) return 1;
  for (const auto& channel : out) std::fwrite(channel.data(), sizeof(float), channel.size(), file);
  return std::fclose(file) == 0 ? 0 : 1;
}
