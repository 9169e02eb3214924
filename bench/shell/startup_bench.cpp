// SPDX-License-Identifier: GPL-3.0-or-later
// Whole runs of tessary on a pseudo-terminal: the time to its prompt, to the prompt's colour,
// from /exit to the end of the process, and what it keeps resident while idle.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/fake_copilot.h"
#include "tests/support/pty_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::PtySession;

// A fresh data folder, so the built-in CLI is unpacked as on a first run.
class FirstRunFolder {
 public:
  FirstRunFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tessary-first-XXXXXX";
    path_ = mkdtemp(pattern.data());
  }
  ~FirstRunFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The options for a run with the built-in CLI, on a first run when `first` is given.
PtySession::Options BuiltInCli(const FirstRunFolder* first) {
  PtySession::Options options;
  options.environment["TESSARY_COPILOT_CLI"] = "";
  if (first) options.environment["XDG_DATA_HOME"] = first->Path();
  return options;
}

double ResidentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Argument 0: no Copilot CLI, the first byte of the prompt. 1: the fake CLI, until the
// prompt turns green. 2: the built-in CLI (unpacked by an earlier run, signed out here),
// until the prompt turns red.
void BM_TimeToPrompt(benchmark::State& state) {
  std::unique_ptr<testing_support::FakeCopilot> fake;
  PtySession::Options options;
  const char* awaited = "[AI] ";
  if (state.range(0) == 1) {
    fake = std::make_unique<testing_support::FakeCopilot>(nlohmann::json::object());
    options = fake->Options();
    awaited = "\x1b[32m[AI] ";
  } else if (state.range(0) == 2) {
    options = BuiltInCli(nullptr);
    options.environment["GH_TOKEN"] = "";
    options.environment["GITHUB_TOKEN"] = "";
    awaited = "\x1b[31m[AI] ";
  }
  for (auto _ : state) {
    PtySession run({testing_support::TessaryPath()}, options);
    if (!run.WaitFor(awaited, std::chrono::seconds(20))) state.SkipWithError("no prompt");
    state.PauseTiming();
    run.Type("/exit\r");
    run.WaitForExit();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TimeToPrompt)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10)
    ->Repetitions(5)
    ->ComputeStatistics("median", [](const std::vector<double>& v) {
      std::vector<double> sorted = v;
      std::sort(sorted.begin(), sorted.end());
      return sorted[sorted.size() / 2];
    });

// Chat mode's start against its anchor, in the same run, alternating: the first byte of
// tessary's prompt (no Copilot CLI) against `bash -i -c exit` to its end, both on a
// pseudo-terminal; and what tessary keeps resident at that prompt. Chat mode loads none of
// the workbench's libraries.
void BM_ChatStartAgainstBash(benchmark::State& state) {
  std::vector<double> tessary, bash;
  double megabytes = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    {
      PtySession run({testing_support::TessaryPath()});
      if (!run.WaitFor("[AI] ", std::chrono::seconds(20))) state.SkipWithError("no prompt");
      tessary.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      megabytes = std::max(megabytes, ResidentMegabytes(run.Pid()));
      run.Type("/exit\r");
      run.WaitForExit();
    }
    start = Clock::now();
    PtySession shell({"/bin/bash", "-i", "-c", "exit"});
    if (!shell.WaitForExit(std::chrono::seconds(20))) state.SkipWithError("bash did not end");
    bash.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(tessary.begin(), tessary.end());
  std::sort(bash.begin(), bash.end());
  const double t = tessary[tessary.size() / 2], b = bash[bash.size() / 2];
  state.counters["tessary_ms"] = t;
  state.counters["bash_ms"] = b;
  state.counters["ratio"] = t / b;
  state.counters["idle_rss_MB"] = megabytes;
}
BENCHMARK(BM_ChatStartAgainstBash)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// /exit typed 0.1 s after the start, with the built-in CLI: the time from the key to the end of
// the process. Argument 0: a warm run; 1: a first run, which is still unpacking the CLI.
void BM_ExitSoonAfterStart(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<FirstRunFolder> first;
    if (state.range(0) == 1) first = std::make_unique<FirstRunFolder>();
    PtySession run({testing_support::TessaryPath()}, BuiltInCli(first.get()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto typed = Clock::now();
    run.Type("/exit\r");
    if (!run.WaitForExit(std::chrono::seconds(30))) state.SkipWithError("did not end");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - typed).count());
  }
}
BENCHMARK(BM_ExitSoonAfterStart)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

// What tessary keeps resident once the built-in CLI is up and the prompt has its colour.
// Argument 0: a warm run; 1: a first run, which unpacked the CLI.
void BM_IdleResidentMemory(benchmark::State& state) {
  double megabytes = 0;
  for (auto _ : state) {
    std::unique_ptr<FirstRunFolder> first;
    if (state.range(0) == 1) first = std::make_unique<FirstRunFolder>();
    PtySession run({testing_support::TessaryPath()}, BuiltInCli(first.get()));
    if (!run.WaitFor("\x1b[31m[AI] ", std::chrono::seconds(60))) state.SkipWithError("no prompt");
    megabytes = std::max(megabytes, ResidentMegabytes(run.Pid()));
    run.Type("/exit\r");
    run.WaitForExit();
  }
  state.counters["rss_MB"] = megabytes;
}
BENCHMARK(BM_IdleResidentMemory)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
