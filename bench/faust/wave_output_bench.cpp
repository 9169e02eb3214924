// SPDX-License-Identifier: GPL-3.0-or-later
// One minute of 48 kHz stereo through a wave output into an ALSA file PCM (written to
// /dev/null), in the 512-frame blocks sources use. The device takes sound faster than real
// time, so the run costs what the output itself costs. Reports the process's CPU time (both
// threads) per second of audio, as a share of one core, and the process's peak memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

#include "faust/wave_output.h"

namespace {

constexpr size_t kBlockFrames = 512;
constexpr size_t kAudioSeconds = 60;
constexpr size_t kBlocks = kAudioSeconds * 48000 / kBlockFrames;

std::filesystem::path UseCaptureConfig() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tessary-bench-alsa-" + std::to_string(getpid()) + ".conf");
  std::ofstream(path) << "pcm.capture {\n  type file\n  slave.pcm { type null }\n"
                         "  file \"/dev/null\"\n  format \"raw\"\n}\n";
  setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  setenv("TESSARY_AUDIO_DEVICE", "capture", 1);
  return path;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_WaveOutputOneMinute(benchmark::State& state) {
  const auto config = UseCaptureConfig();
  std::vector<int16_t> block(kBlockFrames * 2);
  for (size_t n = 0; n < kBlockFrames; ++n)
    block[2 * n] = block[2 * n + 1] =
        int16_t(16000 * std::sin(2 * std::numbers::pi * 1000.0 * double(n) / 48000.0));
  double cpu = 0;
  size_t minutes = 0;
  for (auto _ : state) {
    const double before = CpuSeconds();
    {
      faust::WOUT out;
      if (!out.Open()) {
        state.SkipWithError("the capture PCM did not open");
        break;
      }
      for (size_t i = 0; i < kBlocks; ++i) out.Write(block.data(), block.size() * 2);
      while (out.QueuedBuffers() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cpu += CpuSeconds() - before;
    ++minutes;
  }
  std::filesystem::remove(config);
  if (minutes == 0) return;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpuPerAudioSecond = cpu / double(minutes * kAudioSeconds);
  state.counters["cpu_ms_per_audio_s"] = cpuPerAudioSecond * 1e3;
  state.counters["core_percent"] = cpuPerAudioSecond * 100;
  state.counters["peak_rss_MiB"] = double(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_WaveOutputOneMinute)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
