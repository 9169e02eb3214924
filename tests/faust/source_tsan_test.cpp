// SPDX-License-Identifier: GPL-3.0-or-later
// Two sources playing through a shared rack entry while the prompt's thread changes chains
// and states, then everything joined; built on its own under ThreadSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "alsa_file_pcm.h"
#include "audio_files.h"
#include "faust/audio_in.h"
#include "faust/rack.h"
#include "faust/workbench.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SourceThreadsTest, ChainsAndStatesChangeWhileSourcesPlay) {
  const fs::path config = faust_test::UseCaptureAlsaConfig();
  const fs::path folder = fs::temp_directory_path() / ("tessary-tsan-" + std::to_string(getpid()));
  fs::create_directories(folder);
  setenv("TESSARY_AUDIO_DEVICE", faust_test::CaptureDevice("/dev/null").c_str(), 1);
  faust_test::WriteWav(folder / "a.wav", std::vector<int16_t>(2 * 48000 * 3, 1000), 2, 48000);

  auto gain = std::make_shared<VST>();
  gain->file = TESSARY_GAIN_SO;
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadVst(*gain, false));
  ::testing::internal::GetCapturedStdout();

  std::atomic<bool> quitting{false};
  for (int i = 0; i < 2; ++i) {
    std::lock_guard guard(workbenchLock);
    sources.push_back(StartSource((folder / "a.wav").string(), quitting));
  }
  for (const auto& source : sources) source->SetState(kSourcePlaying);
  const auto until = std::chrono::steady_clock::now() + 400ms;
  for (int round = 0; std::chrono::steady_clock::now() < until; ++round) {
    {
      std::lock_guard guard(workbenchLock);
      auto& chain = sources[round % 2]->chain;
      if (chain.size() < 3) chain.push_back(gain);
      else chain.clear();
    }
    if (round % 7 == 0) sources[1]->SetState(round % 14 == 0 ? kSourcePaused : kSourcePlaying);
    std::this_thread::sleep_for(2ms);
  }
  StopAllSources(quitting);
  for (const auto& source : sources) EXPECT_FALSE(source->thread->joinable());
  ReleaseWorkbench();
  sources.clear();
  fs::remove_all(folder);
  fs::remove(config);
}

}  // namespace
