// SPDX-License-Identifier: GPL-3.0-or-later
// A 512-frame stereo block through a plug-in in a host process against the same plug-in
// loaded here: the round trip's median and 99th percentile, and what the caller allocates
// per block. This program is its own host (--plugin-host).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "allocation_count.h"
#include "plexar/remote/confine.h"
#include "plexar/remote/host_server.h"
#include "plexar/remote/remote_vst.h"

namespace {

using namespace plexar;

struct Loaded {
  VST* vst = nullptr;
  void** ins = nullptr;
  void** outs = nullptr;

  explicit Loaded(bool remote) {
    if (remote) {
      vst = new remote::RemoteVST(remote::HostKind::kPlugin);
    } else {
      CreateVst3(nullptr, &vst);
    }
    std::filesystem::path path = TESSARY_GAIN_SO;
    if (vst->Load(&path, nullptr, nullptr, 0, 32, 0) != S_OK) std::abort();
    vst->SetFormat(48000, 512, 32, 0);
    vst->AllocateBuffersEx(&ins, &outs);
    vst->Resume(0);
    for (int k = 0; k < 2; ++k) {
      for (int s = 0; s < 512; ++s) static_cast<float*>(ins[k])[s] = static_cast<float>(s % 17) / 17;
    }
  }
  ~Loaded() {
    vst->FreeBuffers();
    vst->Unload();
    vst->Release();
  }
};

void Block(benchmark::State& state, bool remote) {
  Loaded plugin(remote);
  plugin.vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 120, 4, 4);
  std::vector<double> micros;
  micros.reserve(1 << 20);
  const long before = allocations.load();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    plugin.vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 120, 4, 4);
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  const long made = allocations.load() - before;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
  // The timings were reserved ahead: whatever is counted here is the caller's own.
  state.counters["allocs_per_block"] = static_cast<double>(made) / static_cast<double>(state.iterations());
}

void InProcessBlock(benchmark::State& state) { Block(state, false); }
void HostedBlock(benchmark::State& state) { Block(state, true); }
BENCHMARK(InProcessBlock)->Iterations(100000);
BENCHMARK(HostedBlock)->Iterations(100000);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--plugin-host") == 0) {
    remote::Confine({});
    return remote::ServeHost(3, nullptr);
  }
  remote::SetHostProgram("/proc/self/exe");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  remote::ShutdownHosts();
  return 0;
}
