// SPDX-License-Identifier: GPL-3.0-or-later
// Time from starting tessary on a pseudo-terminal to the first byte of its prompt.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "tests/support/pty_session.h"

namespace {

// Argument 0: no Copilot CLI; 1: the CLI built into tessary, already unpacked by an earlier run.
void BM_TimeToPrompt(benchmark::State& state) {
  testing_support::PtySession::Options options;
  if (state.range(0) == 1) options.environment["TESSARY_COPILOT_CLI"] = "";
  for (auto _ : state) {
    testing_support::PtySession run({testing_support::TessaryPath()}, options);
    if (!run.WaitFor("[AI] ", std::chrono::seconds(10))) state.SkipWithError("no prompt");
    state.PauseTiming();
    run.Type("/exit\r");
    run.WaitForExit();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TimeToPrompt)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10)
    ->Repetitions(5)
    ->ComputeStatistics("median", [](const std::vector<double>& v) {
      std::vector<double> sorted = v;
      std::sort(sorted.begin(), sorted.end());
      return sorted[sorted.size() / 2];
    });

}  // namespace

BENCHMARK_MAIN();
