// SPDX-License-Identifier: GPL-3.0-or-later
// Time from starting tessary on a pseudo-terminal to the first byte of its prompt.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "tests/support/pty_session.h"

namespace {

void BM_TimeToPrompt(benchmark::State& state) {
  for (auto _ : state) {
    testing_support::PtySession run({testing_support::TessaryPath()});
    if (!run.WaitFor("[AI] ", std::chrono::seconds(10))) state.SkipWithError("no prompt");
    state.PauseTiming();
    run.Type("/exit\r");
    run.WaitForExit();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TimeToPrompt)
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
