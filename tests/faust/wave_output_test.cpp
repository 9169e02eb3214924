// SPDX-License-Identifier: GPL-3.0-or-later
// The output on real ALSA: a PCM of the test's own configuration that writes what was played
// to a file. Destroying an output drops what it still queues but the file keeps everything
// that was handed to ALSA, so the file shows exactly what the output gave the device.
#include "faust/wave_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <thread>
#include <vector>

#include "alsa_file_pcm.h"

namespace {

using namespace std::chrono_literals;
using faust::WOUT;

constexpr size_t kBlockFrames = 512;
constexpr size_t kBlockBytes = kBlockFrames * faust::kFrameBytes;

std::vector<int16_t> Block(int16_t value) { return std::vector<int16_t>(kBlockFrames * 2, value); }

bool WaitUntilDrained(WOUT& out) {
  for (auto deadline = std::chrono::steady_clock::now() + 5s;
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(1ms))
    if (out.QueuedBuffers() == 0) return true;
  return false;
}

class WaveOutputAlsaTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { config_ = faust_test::UseCaptureAlsaConfig(); }
  static void TearDownTestSuite() { std::filesystem::remove(config_); }
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    file_ = std::filesystem::temp_directory_path() /
            (std::string("tessary-") + test->name() + "-" + std::to_string(getpid()) + ".raw");
    setenv("TESSARY_AUDIO_DEVICE", faust_test::CaptureDevice(file_).c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::remove(file_);
    unsetenv("TESSARY_AUDIO_DEVICE");
  }
  // The blocks with the given fill values, one after the other, as the device should get them.
  static std::vector<char> Expected(std::initializer_list<int16_t> values) {
    std::vector<char> bytes;
    for (int16_t v : values) {
      auto block = Block(v);
      const char* p = reinterpret_cast<const char*>(block.data());
      bytes.insert(bytes.end(), p, p + kBlockBytes);
    }
    return bytes;
  }
  static inline std::filesystem::path config_;
  std::filesystem::path file_;
};

TEST_F(WaveOutputAlsaTest, FirstFourWritesOnlyQueueAndAreDroppedWithTheOutput) {
  {
    WOUT out;
    ASSERT_TRUE(out.Open()) << out.LastResult();
    for (int16_t i = 1; i <= 4; ++i) ASSERT_TRUE(out.Write(Block(i).data(), kBlockBytes));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(out.QueuedBuffers(), 4u);
  }
  EXPECT_TRUE(faust_test::ReadAll(file_).empty());
}

TEST_F(WaveOutputAlsaTest, FifthWriteStartsTheDeviceWithAllFiveThenWritesFollowOneByOne) {
  {
    WOUT out;
    ASSERT_TRUE(out.Open()) << out.LastResult();
    for (int16_t i = 1; i <= 5; ++i) {
      auto block = Block(i);
      ASSERT_TRUE(out.Write(block.data(), kBlockBytes));
      std::memset(block.data(), 0x55, kBlockBytes);  // the output keeps its own copy
    }
    ASSERT_TRUE(WaitUntilDrained(out));
    for (int16_t i = 6; i <= 8; ++i) {
      ASSERT_TRUE(out.Write(Block(i).data(), kBlockBytes));
      ASSERT_TRUE(WaitUntilDrained(out)) << "block " << i << " was not played on its own";
    }
    EXPECT_EQ(out.LastResult(), 0);
  }
  EXPECT_EQ(faust_test::ReadAll(file_), Expected({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(WaveOutputAlsaTest, ToneComesBackSampleForSample) {
  constexpr size_t kFrames = 48000;  // one second of 1 kHz
  std::vector<int16_t> tone(kFrames * 2);
  for (size_t n = 0; n < kFrames; ++n) {
    const double x = 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * double(n) / 48000.0);
    tone[2 * n] = tone[2 * n + 1] = int16_t(std::lround(x * 32767));
  }
  {
    WOUT out;
    ASSERT_TRUE(out.Open()) << out.LastResult();
    for (size_t frame = 0; frame < kFrames; frame += kBlockFrames) {
      const size_t frames = std::min(kBlockFrames, kFrames - frame);
      ASSERT_TRUE(out.Write(&tone[2 * frame], frames * faust::kFrameBytes));
    }
    ASSERT_TRUE(WaitUntilDrained(out));
  }
  const auto bytes = faust_test::ReadAll(file_);
  ASSERT_EQ(bytes.size(), tone.size() * sizeof(int16_t));
  std::vector<int16_t> played(tone.size());
  std::memcpy(played.data(), bytes.data(), bytes.size());
  for (size_t i = 0; i < tone.size(); ++i) ASSERT_EQ(played[i], tone[i]) << "sample " << i;
}

TEST_F(WaveOutputAlsaTest, DeviceThatCannotBeOpenedRefusesWritesAtOnce) {
  setenv("TESSARY_AUDIO_DEVICE", "tessary_no_such_device", 1);
  WOUT out;
  auto block = Block(1);
  EXPECT_FALSE(out.Write(block.data(), kBlockBytes));  // not opened yet
  EXPECT_FALSE(out.Open());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_LT(out.LastResult(), 0);
  // Far more writes than the queue holds; each would wait 10 s if it waited for room.
  for (int i = 0; i < 50; ++i) EXPECT_FALSE(out.Write(block.data(), kBlockBytes));
  EXPECT_EQ(out.QueuedBuffers(), 0u);
}

TEST_F(WaveOutputAlsaTest, WritesOfPartFramesAreRefused) {
  WOUT out;
  ASSERT_TRUE(out.Open()) << out.LastResult();
  auto block = Block(1);
  EXPECT_FALSE(out.Write(block.data(), kBlockBytes - 1));
  EXPECT_FALSE(out.Write(nullptr, kBlockBytes));
  EXPECT_EQ(out.QueuedBuffers(), 0u);
}

}  // namespace
