// SPDX-License-Identifier: GPL-3.0-or-later
// The updater's own costs: a start with nothing to update against the update server on
// loopback (one request, local hashes remembered), and signing and comparing speed.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "molt/difflib.h"
#include "molt/molter.h"
#include "tests/molt/test_files.h"
#include "tools/molt/publish.h"
#include "tools/molt/update_server.h"

namespace {

namespace fs = std::filesystem;

// Argument: the size of the installed executable in MiB.
void BM_StartWithNothingToUpdate(benchmark::State& state) {
  const molt_test::TempFolder temp;
  const fs::path& root = temp.path();
  const Molt::Bytes program =
      molt_test::RandomBytes(static_cast<std::size_t>(state.range(0)) << 20, 1);
  molt_test::WriteFile(root / "release/tessary", program);
  molt_test::WriteFile(root / "install/tessary", program);
  std::string error;
  if (!MoltTools::Publish(root / "release", root / "publish", nullptr, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  MoltTools::UpdateServer server(root / "publish", {});
  server.Start(0);
  const Molt::FileFilter filter({"tessary"}, true);
  std::int32_t result = 0;
  for (auto _ : state) {
    Molt::Molter molter(root / "install", {}, server.Endpoint());
    molter.hashStore = root / "hashes";
    result = molter.Run(&filter);
  }
  if (result != Molt::kNothingDiffers) state.SkipWithError("the run found something to do");
  server.Stop();
}
BENCHMARK(BM_StartWithNothingToUpdate)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the number of names in the server's hash list; each is looked up as it is read.
void BM_NamesFromALongHashList(benchmark::State& state) {
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < state.range(0); ++i)
    names.push_back("data/pack" + std::to_string(i % 97) + "/File" + std::to_string(i) + ".bin");
  for (auto _ : state) {
    Molt::Molter molter("/nonexistent", {}, "");
    for (const std::string& name : names) benchmark::DoNotOptimize(molter.FindFile(name, true));
  }
}
BENCHMARK(BM_NamesFromALongHashList)->Arg(40000)->Arg(190000)->Unit(benchmark::kMillisecond);

void BM_Sign(benchmark::State& state) {
  const Molt::Bytes data = molt_test::RandomBytes(64 << 20, 2);
  for (auto _ : state) benchmark::DoNotOptimize(Molt::DIFFLIB::SignBytes(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Sign)->Unit(benchmark::kMillisecond);

void BM_Compare(benchmark::State& state) {
  Molt::Bytes old = molt_test::RandomBytes(64 << 20, 3);
  const Molt::Bytes seed = Molt::DIFFLIB::SignBytes(old);
  old[old.size() / 2] ^= 1;
  const Molt::Bytes source = Molt::DIFFLIB::SignBytes(old);
  for (auto _ : state) benchmark::DoNotOptimize(Molt::DIFFLIB::Compare(seed, source));
}
BENCHMARK(BM_Compare)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
