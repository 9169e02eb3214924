// SPDX-License-Identifier: GPL-3.0-or-later
// The Faust engine: a snippet of the Zita reverb to a rack entry (compile and load), and the
// compiled effects' speed against the same code compiled by the faust command to C++ and
// built with g++ -O3 -march=native, in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>
#include <faust/gui/meta.h>

#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "plexar/remote/host_process.h"
#include "plexar/remote/remote_vst.h"
#include "plexar/vst.h"

#include "host_main.h"
#include "native_effects.h"
#include "quiet_compile.h"
#include "temp_folder.h"

namespace {

std::string EffectCode(const std::string& name) {
  std::ifstream in(std::string(EFFECTS_FOLDER) + "/" + name + ".dsp");
  std::stringstream code;
  code << in.rdbuf();
  return code.str();
}

std::string ZitaCode() { return EffectCode("zita"); }

bool StartEngine() {
  static bool started = [] {
    static bench::TempFolder folder("tessary-bench-");
    if (folder.Path().empty()) return false;
    setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
    return !EnsureFaustEngine().empty() && faustModule;
  }();
  return started;
}

std::shared_ptr<VST> Compile(const std::string& code) { return CompileQuietly(code); }

// Every iteration compiles different code: libfaust keeps what it compiled and would
// otherwise answer from that cache.
void SnippetToRackEntry(benchmark::State& state) {
  if (!StartEngine()) return state.SkipWithError("no Faust engine");
  std::string code = ZitaCode();
  code.replace(code.find("process ="), 9, "reverb =");
  int64_t n = 0;
  for (auto _ : state) {
    auto record = Compile(code + "process = reverb : *(1 - " + std::to_string(++n) + "e-9), _;\n");
    if (!record) return state.SkipWithError("the reverb did not compile");
  }
}
BENCHMARK(SnippetToRackEntry)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same through the engine host, as tessary runs it; the host is started (warm) first.
struct InHost {
  InHost() {
    plexar::remote::SetHostProgram("/proc/self/exe");
    plexar::remote::EngineLibraryFolder();
  }
  ~InHost() { plexar::remote::SetHostProgram(""); }
};

void SnippetToRackEntryInHost(benchmark::State& state) {
  if (!StartEngine()) return state.SkipWithError("no Faust engine");
  InHost hosted;
  std::string code = ZitaCode();
  code.replace(code.find("process ="), 9, "reverb =");
  int64_t n = 1000;
  for (auto _ : state) {
    auto record = Compile(code + "process = reverb : *(1 - " + std::to_string(++n) + "e-9), _;\n");
    if (!record) return state.SkipWithError("the reverb did not compile");
  }
}
BENCHMARK(SnippetToRackEntryInHost)->Unit(benchmark::kMillisecond)->Iterations(10);

std::vector<float> Noise(size_t frames) {
  std::vector<float> v(frames);
  uint32_t seed = 1;
  for (float& x : v) x = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f;
  return v;
}

void EngineReverb(benchmark::State& state) {
  if (!StartEngine()) return state.SkipWithError("no Faust engine");
  std::unique_ptr<InHost> hosted(state.range(0) ? new InHost : nullptr);
  auto record = Compile(ZitaCode());
  if (!record) return state.SkipWithError("the reverb did not compile");
  const std::vector<float> noise = Noise(512);
  for (int32_t c = 0; c < record->numInputs; ++c) {
    std::copy(noise.begin(), noise.end(), static_cast<float*>(record->inputs[c]));
  }
  for (auto _ : state) record->plugin->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  state.SetItemsProcessed(state.iterations() * 512);
}
BENCHMARK(EngineReverb)->ArgName("in_host")->Arg(0)->Arg(1);

void NativeReverb(benchmark::State& state) {
  std::unique_ptr<dsp> reverb = NativeEffect("zita");
  reverb->init(48000);
  std::vector<float> left = Noise(512), right = Noise(512), outLeft(512), outRight(512);
  float* ins[2] = {left.data(), right.data()};
  float* outs[2] = {outLeft.data(), outRight.data()};
  for (auto _ : state) {
    reverb->compute(512, ins, outs);
    benchmark::DoNotOptimize(outLeft.data());
  }
  state.SetItemsProcessed(state.iterations() * 512);
}
BENCHMARK(NativeReverb);

double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Microseconds of this thread's CPU time per call, over `calls` calls.
template <typename Run>
double MicrosecondsPerCall(int calls, Run run) {
  const double start = ThreadSeconds();
  for (int i = 0; i < calls; ++i) run();
  return 1e6 * (ThreadSeconds() - start) / calls;
}

// The engine's compiled effect against the faust command's C++ of the same code, 512-frame
// blocks of noise, taking turns of 32 blocks; each side's fastest turn counts, so what the
// machine's other work steals from one turn does not decide the ratio. ratio is the
// native time over the engine's: 1 is parity, above 1 the engine is faster.
void EngineAgainstNative(benchmark::State& state, const std::string& name) {
  if (!StartEngine()) return state.SkipWithError("no Faust engine");
  auto record = Compile(EffectCode(name));
  if (!record) return state.SkipWithError("the effect did not compile");
  std::unique_ptr<dsp> native = NativeEffect(name);
  native->init(48000);
  const std::vector<float> noise = Noise(512);
  for (int32_t c = 0; c < record->numInputs; ++c) {
    std::copy(noise.begin(), noise.end(), static_cast<float*>(record->inputs[c]));
  }
  std::vector<std::vector<float>> ins(native->getNumInputs(), noise);
  std::vector<std::vector<float>> outs(native->getNumOutputs(), std::vector<float>(512));
  std::vector<float*> inPointers, outPointers;
  for (auto& v : ins) inPointers.push_back(v.data());
  for (auto& v : outs) outPointers.push_back(v.data());
  double engine = 1e30, own = 1e30;
  for (auto _ : state) {
    engine = std::min(engine, MicrosecondsPerCall(32, [&] {
      record->plugin->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }));
    own = std::min(own, MicrosecondsPerCall(32, [&] {
      native->compute(512, inPointers.data(), outPointers.data());
      benchmark::DoNotOptimize(outPointers[0]);
    }));
  }
  state.counters["engine_us"] = engine;
  state.counters["native_us"] = own;
  state.counters["ratio"] = own / engine;
}
BENCHMARK_CAPTURE(EngineAgainstNative, zita, std::string("zita"))->Iterations(100);
BENCHMARK_CAPTURE(EngineAgainstNative, djembe, std::string("djembe"))->Iterations(100);
BENCHMARK_CAPTURE(EngineAgainstNative, filterbank, std::string("filterbank"))->Iterations(20);

}  // namespace
