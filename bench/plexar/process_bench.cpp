// SPDX-License-Identifier: GPL-3.0-or-later
// What the host adds to a 512-frame block: plexar::VST::Process against calling the same
// plug-in's process directly on the same buffers, and the allocations of a plain block; for
// a VST 3 test module and for real VST 2 plug-ins from Debian's packages.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "allocation_count.h"
#include "common/read_write_lock.h"
#include "plexar/vst.h"
#include "plexar/vst2/aeffect.h"
#include "plexar/vst3/processing.h"
#include "plexar/vst3/ref.h"

namespace {

using namespace plexar;

struct Loaded {
  VST* vst = nullptr;
  void** ins = nullptr;
  void** outs = nullptr;

  Loaded() {
    CreateVst3(nullptr, &vst);
    std::filesystem::path path = TESSARY_GAIN_SO;
    if (vst->Load(&path, nullptr, nullptr, 0, 32, 0) != S_OK) std::abort();
    vst->AllocateBuffersEx(&ins, &outs);
    vst->Resume(0);
    for (int k = 0; k < 3; ++k) {
      for (int s = 0; s < 512; ++s) static_cast<float*>(ins[k])[s] = static_cast<float>(s % 17) / 17;
    }
  }
  ~Loaded() { vst->Release(); }
};

void BM_HostProcess(benchmark::State& state) {
  Loaded plugin;
  plugin.vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 120, 4, 4);  // first block registers the thread
  long before = allocations.load();
  int64_t time = 0;
  for (auto _ : state) {
    plugin.vst->Process(0, 48000, time, 0, time, 0, 0, 0, 0, 120, 4, 4);
    time += 512;
    benchmark::DoNotOptimize(plugin.outs[0]);
  }
  long made = allocations.load() - before;
  state.counters["allocs_per_block"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
  if (made != 0) state.SkipWithError("a block without events or changes allocated");
}
BENCHMARK(BM_HostProcess);

// The same plug-in object, its process called with a ProcessData of our own.
void BM_DirectProcess(benchmark::State& state) {
  Loaded plugin;
  void* native = nullptr;
  plugin.vst->GetNative(vst3::IAudioProcessor::iid.data(), &native);
  auto processor = vst3::Ref<vst3::IAudioProcessor>::Adopt(static_cast<vst3::IAudioProcessor*>(native));
  vst3::Sample32* main[2] = {static_cast<float*>(plugin.ins[0]), static_cast<float*>(plugin.ins[1])};
  vst3::Sample32* side[1] = {static_cast<float*>(plugin.ins[2])};
  vst3::Sample32* out[2] = {static_cast<float*>(plugin.outs[0]), static_cast<float*>(plugin.outs[1])};
  vst3::AudioBusBuffers inputs[2] = {};
  inputs[0].numChannels = 2, inputs[0].channelBuffers32 = main;
  inputs[1].numChannels = 1, inputs[1].channelBuffers32 = side;
  vst3::AudioBusBuffers outputs[1] = {};
  outputs[0].numChannels = 2, outputs[0].channelBuffers32 = out;
  vst3::ProcessContext context{};
  context.sampleRate = 48000;
  context.tempo = 120;
  vst3::ProcessData data{};
  data.numSamples = 512;
  data.numInputs = 2, data.inputs = inputs;
  data.numOutputs = 1, data.outputs = outputs;
  data.processContext = &context;
  for (auto _ : state) {
    context.projectTimeSamples += 512;
    processor->process(data);
    processor->getTailSamples();
    benchmark::DoNotOptimize(out[0]);
  }
}
BENCHMARK(BM_DirectProcess);

// The plug-in lock's read side alone, the largest fixed cost of a host block.
void BM_PluginLockRead(benchmark::State& state) {
  common::ReadWriteLock lock;
  for (auto _ : state) {
    common::ReadGuard guard(lock);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PluginLockRead);

// A real VST 2 plug-in, loaded with its buffers filled with a fixed pattern.
struct LoadedVst2 {
  VST* vst = nullptr;
  void** ins = nullptr;
  void** outs = nullptr;
  vst2::AEffect* effect = nullptr;

  explicit LoadedVst2(const char* file) {
    CreateVst2(nullptr, &vst);
    std::filesystem::path path = file;
    if (vst->Load(&path, nullptr, nullptr, 0, 32, 0) != S_OK) return;
    vst->AllocateBuffersEx(&ins, &outs);
    int32_t ai = 0, ao = 0, ei = 0, eo = 0;
    vst->GetChannelCounts(&ai, &ao, &ei, &eo);
    for (int k = 0; k < ai; ++k) {
      for (int s = 0; s < 512; ++s) static_cast<float*>(ins[k])[s] = static_cast<float>(s % 17) / 34;
    }
    const int selector = 1;
    void* native = nullptr;
    if (vst->GetNative(&selector, &native) == S_OK) effect = static_cast<vst2::AEffect*>(native);
  }
  ~LoadedVst2() { vst->Release(); }
};

void BM_Vst2HostProcess(benchmark::State& state, const char* file) {
  LoadedVst2 plugin(file);
  if (!plugin.effect) return state.SkipWithError("plug-in not installed");
  // The first block registers the audio thread with the locks it takes.
  plugin.vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 120, 4, 4);
  long before = allocations.load();
  int64_t time = 0;
  for (auto _ : state) {
    plugin.vst->Process(0, 48000, time, 0, time, 0, 0, 0, 0, 120, 4, 4);
    time += 512;
    benchmark::DoNotOptimize(plugin.outs[0]);
  }
  long made = allocations.load() - before;
  state.counters["allocs_per_block"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
  if (made != 0) state.SkipWithError("a block without MIDI allocated");
}

// The same plug-in's processReplacing called directly on the same buffers.
void BM_Vst2DirectProcess(benchmark::State& state, const char* file) {
  LoadedVst2 plugin(file);
  if (!plugin.effect) return state.SkipWithError("plug-in not installed");
  auto** ins = reinterpret_cast<float**>(plugin.ins);
  auto** outs = reinterpret_cast<float**>(plugin.outs);
  plugin.effect->processReplacing(plugin.effect, ins, outs, 512);
  for (auto _ : state) {
    plugin.effect->processReplacing(plugin.effect, ins, outs, 512);
    benchmark::DoNotOptimize(outs[0]);
  }
}

constexpr const char* kEq = "/usr/lib/vst/3BandEQ-vst.so";
constexpr const char* kHall = "/usr/lib/lxvst/DragonflyHallReverb-vst.so";
BENCHMARK_CAPTURE(BM_Vst2HostProcess, eq3band, kEq);
BENCHMARK_CAPTURE(BM_Vst2DirectProcess, eq3band, kEq);
BENCHMARK_CAPTURE(BM_Vst2HostProcess, dragonfly_hall, kHall);
BENCHMARK_CAPTURE(BM_Vst2DirectProcess, dragonfly_hall, kHall);

}  // namespace

BENCHMARK_MAIN();
