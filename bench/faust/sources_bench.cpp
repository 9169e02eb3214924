// SPDX-License-Identifier: GPL-3.0-or-later
// Sources: rendering a minute of sound through a Faust reverb and two VST 2 plug-ins (real
// time factor, and the share of the time spent outside the plug-ins), and playing a minute
// into an ALSA device that takes sound as fast as it comes (the process's CPU time per second
// of sound is what real-time playback costs a core).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "faust/audio_in.h"
#include "faust/chain.h"
#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "faust/render.h"
#include "faust/workbench.h"
#include "plexar/remote/host_process.h"
#include "host_main.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 60;

fs::path Folder() {
  static bench::TempFolder folder("tessary-sources-bench-");
  return folder.Path();
}

fs::path MinuteOfSound(int rate = 48000) {
  const fs::path file = Folder() / ("minute-" + std::to_string(rate) + ".wav");
  if (fs::exists(file)) return file;
  SF_INFO info{};
  info.samplerate = rate, info.channels = 2, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  std::vector<short> samples(2 * static_cast<size_t>(rate));
  for (int second = 0; second < kSeconds; ++second) {
    for (size_t i = 0; i < samples.size(); i += 2) {
      samples[i] = samples[i + 1] = static_cast<short>(8000 * std::sin(i * 0.031 + second));
    }
    sf_write_short(out, samples.data(), static_cast<sf_count_t>(samples.size()));
  }
  sf_close(out);
  return file;
}

// Loads quietly: the banners would bury the report.
std::shared_ptr<VST> Load(const std::string& file, const std::string& code) {
  auto record = std::make_shared<VST>();
  record->file = file;
  faustCode = code;
  std::fflush(stdout);
  const int saved = dup(1), null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  const bool loaded = LoadVst(*record, !code.empty());
  dup2(saved, 1);
  close(saved), close(null);
  return loaded ? record : nullptr;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void RenderThroughThreeEffects(benchmark::State& state) {
  setenv("XDG_DATA_HOME", Folder().c_str(), 1);
  if (EnsureFaustEngine().empty()) return state.SkipWithError("no Faust engine");
  // Second argument: the effects in host processes, as tessary runs them, or in this one.
  plexar::remote::SetHostProgram(state.range(1) ? "/proc/self/exe" : "");
  AUDIO_IN source;
  // At 44.1 kHz the resampler adds its share to the time outside the plug-ins.
  source.file = MinuteOfSound(static_cast<int>(state.range(0))).string();
  source.chain = {Load(faustDll, "import(\"stdfaust.lib\"); process = re.zita_rev1_stereo(0, 200, 6000, 3, 2, 48000);"),
                  Load("/usr/lib/vst/MVerb-vst.so", ""),
                  Load("/usr/lib/lxvst/DragonflyHallReverb-vst.so", "")};
  for (const auto& entry : source.chain) {
    if (!entry) return state.SkipWithError("a plug-in did not load");
  }
  std::atomic<bool> cancel{false};
  double total = 0, outside = 0, written = 0;
  for (auto _ : state) {
    faust::RenderReport report;
    std::string error;
    const auto start = Clock::now();
    if (!faust::RenderSource(source, (Folder() / "out.wav").string(), cancel, nullptr, &report, &error)) {
      return state.SkipWithError(error.c_str());
    }
    total = std::chrono::duration<double>(Clock::now() - start).count();
    written = report.seconds;
    // The same file without plug-ins: decoding, blocks, conversion and writing alone, scaled
    // to the length written with the effects' tail.
    AUDIO_IN bare;
    bare.file = source.file;
    faust::RenderReport bareReport;
    const auto bareStart = Clock::now();
    faust::RenderSource(bare, (Folder() / "bare.wav").string(), cancel, nullptr, &bareReport, &error);
    outside = std::chrono::duration<double>(Clock::now() - bareStart).count() * report.seconds /
              bareReport.seconds;
  }
  state.counters["real_time_factor"] = written / total;
  state.counters["outside_plugins_pct"] = 100.0 * outside / total;
  source.chain.clear();
  plexar::remote::SetHostProgram("");
}
BENCHMARK(RenderThroughThreeEffects)
    ->ArgNames({"rate", "in_host"})
    ->Args({48000, 0})
    ->Args({48000, 1})
    ->Args({44100, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void PlayAMinute(benchmark::State& state) {
  const fs::path config = Folder() / "alsa.conf";
  std::ofstream(config) << "pcm.nowhere {\n  type file\n  slave.pcm { type null }\n"
                           "  file \"/dev/null\"\n  format \"raw\"\n}\n";
  setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
  setenv("TESSARY_AUDIO_DEVICE", "nowhere", 1);
  double share = 0;
  for (auto _ : state) {
    std::atomic<bool> quitting{false};
    auto source = StartSource(MinuteOfSound().string(), quitting);
    {
      std::lock_guard guard(workbenchLock);
      sources = {source};
    }
    const double cpu = CpuSeconds();
    source->SetState(kSourcePlaying);
    while (!source->ended.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    share = (CpuSeconds() - cpu) / kSeconds;
    StopAllSources(quitting);
    std::lock_guard guard(workbenchLock);
    sources.clear();
  }
  state.counters["core_pct_in_real_time"] = 100.0 * share;
}
BENCHMARK(PlayAMinute)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
