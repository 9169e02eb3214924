// SPDX-License-Identifier: GPL-3.0-or-later
// Sources: rendering a minute of sound through a Faust reverb and two VST 2 plug-ins (real
// time factor, and the share of the time spent outside the plug-ins), and playing a minute
// into an ALSA device that takes sound as fast as it comes (the process's CPU time per second
// of sound is what real-time playback costs a core). Then, on an ALSA device that plays in
// real time (alsa_clock_pcm.cpp): how soon an answer's new effect is heard on a playing WAV
// and FLAC source, and the underruns ALSA reports over a long play with the CPUs kept busy.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "faust/audio_in.h"
#include "faust/chain.h"
#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "faust/pcm_device.h"
#include "faust/rack.h"
#include "faust/render.h"
#include "faust/wave_output.h"
#include "faust/workbench.h"
#include "plexar/remote/host_process.h"
#include "alsa_clock_pcm.h"
#include "host_main.h"
#include "temp_folder.h"
#include "wakeup_probe.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 60;
// What the wave output usually keeps ahead of the speaker, at 48 kHz: the probe counts the
// stalls longer than that.
constexpr double kQueuedMs = double(faust::WOUT::maxQueued * faust::WOUT::kBufferFrames) * 1000 / 48000;

fs::path Folder() {
  static bench::TempFolder folder("tessary-sources-bench-");
  return folder.Path();
}

fs::path SoundOf(int seconds, int rate = 48000) {
  const fs::path file =
      Folder() / ("sound-" + std::to_string(seconds) + "s-" + std::to_string(rate) + ".wav");
  if (fs::exists(file)) return file;
  SF_INFO info{};
  info.samplerate = rate, info.channels = 2, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  std::vector<short> samples(2 * static_cast<size_t>(rate));
  for (int second = 0; second < seconds; ++second) {
    for (size_t i = 0; i < samples.size(); i += 2) {
      samples[i] = samples[i + 1] = static_cast<short>(8000 * std::sin(i * 0.031 + second));
    }
    sf_write_short(out, samples.data(), static_cast<sf_count_t>(samples.size()));
  }
  sf_close(out);
  return file;
}

fs::path MinuteOfSound(int rate = 48000) { return SoundOf(kSeconds, rate); }

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

// Two PCMs: "nowhere" takes sound as fast as it comes, "clock" plays it in real time.
void UseAlsaDevice(const char* name) {
  const fs::path config = Folder() / "alsa.conf";
  if (!fs::exists(config)) {
    std::ofstream(config) << "pcm.nowhere {\n  type file\n  slave.pcm { type null }\n"
                             "  file \"/dev/null\"\n  format \"raw\"\n}\n"
                             "pcm_type.tessary_clock { lib \"" TESSARY_CLOCK_PCM "\" }\n"
                             "pcm.clock { type tessary_clock }\n";
  }
  setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
  setenv("TESSARY_AUDIO_DEVICE", name, 1);
}

void PlayAMinute(benchmark::State& state) {
  UseAlsaDevice("nowhere");
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

// Threads that keep every core busy at the player's own priority, as a build beside it would.
class BusyCores {
 public:
  explicit BusyCores(int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
      threads_.emplace_back([this] {
        uint64_t spins = 0;
        while (!stop_.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(++spins);
      });
    }
  }
  ~BusyCores() {
    stop_ = true;
    for (auto& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// The same sound as FLAC, made by ffmpeg as most FLAC files are: packets of 4,608 frames.
fs::path FlacOf(const fs::path& wav) {
  fs::path flac = wav;
  flac.replace_extension(".flac");
  if (fs::exists(flac)) return flac;
  const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + wav.string() +
                              "' -c:a flac '" + flac.string() + "'";
  return std::system(command.c_str()) == 0 && fs::exists(flac) ? flac : fs::path();
}

// An answer's effect: every frame well above anything the source plays. `n` keeps libfaust
// from answering out of its cache.
std::string MarkingCode(int64_t n) {
  return "import(\"stdfaust.lib\");\nprocess = par(i, 2, fi.lowpass(2, 8000) : +(0.75 + " +
         std::to_string(n) + "e-9));\n";
}
constexpr int kMarkAbove = 12000;  // the source never goes above 8,000

int64_t Ns(Clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Plays `file` through `chain` on the clock PCM, in host processes, as tessary would.
struct Playing {
  std::atomic<bool> quitting{false};
  std::shared_ptr<AUDIO_IN> source;

  Playing(const fs::path& file, std::vector<std::shared_ptr<VST>> chain)
      : source(StartSource(file.string(), quitting)) {
    {
      std::lock_guard guard(workbenchLock);
      source->chain = std::move(chain);
      sources = {source};
    }
    source->SetState(kSourcePlaying);
  }
  ~Playing() {
    StopAllSources(quitting);
    std::lock_guard guard(workbenchLock);
    sources.clear();
  }
};

bool StartEngineInHosts(benchmark::State& state) {
  setenv("XDG_DATA_HOME", Folder().c_str(), 1);
  if (EnsureFaustEngine().empty()) return state.SkipWithError("no Faust engine"), false;
  UseAlsaDevice("clock");
  plexar::remote::SetHostProgram("/proc/self/exe");
  return true;
}

// Answer -> new effect heard: a source plays through an effect; the answer's code is
// compiled, loaded and appended to its chain, as automatic compilation does; the time runs
// until the device plays the first frame the new effect made. Goal: 150 ms for any format,
// and no underrun while the code compiles.
void AnswerToChangeHeard(benchmark::State& state) {
  if (!StartEngineInHosts(state)) return;
  const fs::path wav = SoundOf(kSeconds);
  const fs::path file = state.range(0) ? FlacOf(wav) : wav;
  if (file.empty()) return state.SkipWithError("ffmpeg did not make the FLAC file");
  const auto first = Load(faustDll, "process = _, _;");
  if (!first) return state.SkipWithError("the first effect did not load");
  BusyCores busy(state.range(1));
  static int64_t n = 0;
  std::vector<double> heard, loaded;
  const uint64_t underrunsBefore = faust::AlsaUnderruns();
  faust::WOUT::ForgetMachineStalls();  // as a fresh start of tessary would
  for (auto _ : state) {
    Playing playing(file, {first});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // into the steady flow
    const auto answer = Clock::now();
    TessaryClockWatch(kMarkAbove);
    std::shared_ptr<VST> record;
    {
      // Held throughout, as when an answer's code is captured and compiled.
      std::lock_guard guard(workbenchLock);
      record = Load(faustDll, MarkingCode(++n));
      if (record) playing.source->chain.push_back(record);
    }
    if (!record) return state.SkipWithError("the answer's effect did not load");
    loaded.push_back(std::chrono::duration<double, std::milli>(Clock::now() - answer).count());
    for (auto deadline = Clock::now() + std::chrono::seconds(5);
         TessaryClockHeardNs() == 0 && Clock::now() < deadline;)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (TessaryClockHeardNs() == 0) return state.SkipWithError("the new effect was never heard");
    heard.push_back(double(TessaryClockHeardNs() - Ns(answer)) / 1e6);
  }
  plexar::remote::SetHostProgram("");
  std::vector<double> queued(heard.size());
  for (size_t i = 0; i < heard.size(); ++i) queued[i] = heard[i] - loaded[i];
  state.counters["heard_ms"] = Median(heard);
  state.counters["heard_max_ms"] = *std::max_element(heard.begin(), heard.end());
  state.counters["compile_ms"] = Median(loaded);
  state.counters["after_compile_ms"] = Median(queued);
  state.counters["vs_150ms_goal"] = Median(heard) / 150;
  state.counters["underruns"] = double(faust::AlsaUnderruns() - underrunsBefore);
  // 1 when the output kept its deep queue at the end (the machine stalled or was busy).
  state.counters["deep_queue"] = faust::WOUT::MachineStalls();
}
BENCHMARK(AnswerToChangeHeard)
    ->ArgNames({"flac", "busy_cpus"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7)
    ->UseRealTime();

// TESSARY_BENCH_PLAY_SECONDS=600 makes it the ten minutes the goal names; a minute by default
// keeps the benchmark's run short.
int64_t PlaySeconds() {
  const char* text = std::getenv("TESSARY_BENCH_PLAY_SECONDS");
  const int64_t seconds = text ? std::atoll(text) : 0;
  return seconds > 0 ? seconds : kSeconds;
}

// Underruns ALSA reports over a long play of a FLAC file through the Zita reverb, with every
// core kept busy beside it. Goal: none. TESSARY_BENCH_XRUN_LOG prints when each underrun and
// each stall of the machine came, to tell the two apart.
void UnderrunsInALongPlay(benchmark::State& state) {
  if (!StartEngineInHosts(state)) return;
  const fs::path file = FlacOf(SoundOf(int(state.range(0))));
  if (file.empty()) return state.SkipWithError("ffmpeg did not make the FLAC file");
  const auto reverb = Load(faustDll, "import(\"stdfaust.lib\"); "
                                     "process = re.zita_rev1_stereo(0, 200, 6000, 3, 2, 48000);");
  if (!reverb) return state.SkipWithError("the reverb did not load");
  BusyCores busy(state.range(1));
  uint64_t underruns = 0;
  double worstWakeMs = 0;
  int stalls = 0;
  int deepSpells = 0;
  for (auto _ : state) {
    const uint64_t before = faust::AlsaUnderruns();
    faust::WOUT::ForgetMachineStalls();  // as a fresh start of tessary would
    bench::WakeupProbe probe(kQueuedMs);
    Playing playing(file, {reverb});
    bool deep = false;
    while (!playing.source->ended.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (deep != faust::WOUT::MachineStalls()) {
        deep = !deep;
        deepSpells += deep;
        if (std::getenv("TESSARY_BENCH_XRUN_LOG")) {
          timespec wall{};
          clock_gettime(CLOCK_REALTIME, &wall);
          std::fprintf(stderr, "%s QUEUE from %ld.%03ld\n", deep ? "DEEP" : "SHALLOW",
                       long(wall.tv_sec), wall.tv_nsec / 1'000'000);
        }
      }
    }
    underruns = faust::AlsaUnderruns() - before;
    if (!probe.RealTime()) state.SetLabel("no real-time priority here");
    worstWakeMs = probe.WorstMs();
    stalls = probe.Stalls();
  }
  plexar::remote::SetHostProgram("");
  state.counters["underruns"] = double(underruns);
  state.counters["played_s"] = double(state.range(0));
  // The machine's own share: how late a real-time thread that does nothing else woke, and
  // how often later than the output's queue lasts.
  state.counters["worst_wakeup_ms"] = worstWakeMs;
  state.counters["stalls_over_queue"] = double(stalls);
  // How many times the output went over to its deep queue (the machine stalled or was busy).
  state.counters["deep_spells"] = double(deepSpells);
}
BENCHMARK(UnderrunsInALongPlay)
    ->ArgNames({"seconds", "busy_cpus"})
    ->Args({PlaySeconds(), 0})
    ->Args({PlaySeconds(), 2})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
