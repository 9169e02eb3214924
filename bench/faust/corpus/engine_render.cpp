// SPDX-License-Identifier: GPL-3.0-or-later
// faust-engine-render CODE FRAMES REFERENCE: renders the Faust code through Tessary's engine
// as the rack runs it (512-frame blocks at 48 kHz, default parameters, the corpus noise in)
// and compares it with REFERENCE, the C++ route's render of the same code. Prints
// "outputs relative-rms first-frame": the largest relative RMS difference over the outputs
// and the first frame that differs by more than 1e-4 of the reference's peak (-1: none).
// Exits 3 when the engine does not compile the code.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_signal.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "plexar/vst.h"
#include "quiet_compile.h"
#include "temp_folder.h"

namespace {

std::shared_ptr<VST> Compile(const std::string& code) {
  std::string error;
  std::shared_ptr<VST> record = CompileQuietly(code, &error);
  if (!record) std::fprintf(stderr, "%s\n", error.c_str());
  return record;
}

std::vector<std::vector<float>> Render(VST& record, int frames) {
  std::vector<std::vector<float>> in(record.numInputs), out(record.numOutputs);
  for (int c = 0; c < record.numInputs; ++c) in[c] = corpus::Input(c, frames);
  for (auto& channel : out) channel.resize(frames);
  for (int at = 0; at < frames; at += corpus::kBlock) {
    for (int c = 0; c < record.numInputs; ++c) {
      std::copy_n(in[c].data() + at, corpus::kBlock, static_cast<float*>(record.inputs[c]));
    }
    record.plugin->Process(0, corpus::kRate, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    for (int c = 0; c < record.numOutputs; ++c) {
      std::copy_n(static_cast<const float*>(record.outputs[c]), corpus::kBlock, out[c].data() + at);
    }
  }
  return out;
}

struct Difference {
  double relativeRms = 0;
  long firstFrame = -1;
};

// Frames where both are the same infinity or both not a number count as equal (a program
// that blows up at its defaults does so on both routes); one finite against one not differs.
Difference Compare(const std::vector<float>& ours, const float* reference, int frames) {
  double error = 0, energy = 0, peak = 0;
  for (int i = 0; i < frames; ++i) {
    if (std::isfinite(reference[i])) peak = std::max(peak, std::fabs(double(reference[i])));
  }
  Difference d;
  for (int i = 0; i < frames; ++i) {
    const float a = ours[i], b = reference[i];
    if (!std::isfinite(a) || !std::isfinite(b)) {
      const bool same = (std::isnan(a) && std::isnan(b)) || a == b;
      if (!same && d.firstFrame < 0) d.firstFrame = i;
      if (!same) error = INFINITY;
      continue;
    }
    const double e = double(a) - b;
    error += e * e;
    energy += double(b) * b;
    if (d.firstFrame < 0 && std::fabs(e) > 1e-4 * std::max(peak, 1e-30)) d.firstFrame = i;
  }
  // Silence against silence is a match; anything against silence is not.
  d.relativeRms = energy > 0 ? std::sqrt(error / energy) : (error > 0 ? 1.0 : 0.0);
  if (!std::isfinite(d.relativeRms)) d.relativeRms = 1e9;
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: faust-engine-render CODE FRAMES REFERENCE\n");
    return 2;
  }
  std::ifstream codeFile(argv[1]);
  std::stringstream code;
  code << codeFile.rdbuf();
  const int frames = std::atoi(argv[2]);
  if (frames <= 0 || frames % corpus::kBlock != 0) {
    std::fprintf(stderr, "FRAMES must be a positive multiple of %d\n", corpus::kBlock);
    return 2;
  }
  bench::TempFolder folder("tessary-corpus-");
  setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
  if (EnsureFaustEngine().empty() || !faustModule) {
    std::fprintf(stderr, "no Faust engine\n");
    return 2;
  }
  auto record = Compile(code.str());
  if (!record) return 3;
  const auto ours = Render(*record, frames);
  std::ifstream referenceFile(argv[3], std::ios::binary);
  std::vector<float> reference(size_t(frames) * ours.size());
  referenceFile.read(reinterpret_cast<char*>(reference.data()),
                     static_cast<std::streamsize>(reference.size() * sizeof(float)));
  if (!referenceFile) {
    std::fprintf(stderr, "the reference has not %zu channels of %d frames\n", ours.size(), frames);
    return 2;
  }
  Difference worst;
  for (size_t c = 0; c < ours.size(); ++c) {
    const Difference d = Compare(ours[c], reference.data() + c * frames, frames);
    worst.relativeRms = std::max(worst.relativeRms, d.relativeRms);
    if (d.firstFrame >= 0 && (worst.firstFrame < 0 || d.firstFrame < worst.firstFrame))
      worst.firstFrame = d.firstFrame;
  }
  std::printf("%zu %.3g %ld\n", ours.size(), worst.relativeRms, worst.firstFrame);
  return 0;
}
