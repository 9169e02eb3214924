// SPDX-License-Identifier: GPL-3.0-or-later
// Flow control and shutdown of the output against a device the test paces by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_pcm_device.h"
#include "faust/wave_output.h"

namespace {

using namespace std::chrono_literals;
using faust::WOUT;
using faust_test::FakeDeviceLog;
using faust_test::FakePcmDevice;

constexpr size_t kBlockBytes = 2048;
constexpr auto kSettle = 50ms;

class WaveOutputFlowTest : public testing::Test {
 protected:
  std::unique_ptr<WOUT> MakeOutput(std::chrono::milliseconds roomWait = WOUT::kRoomWait,
                                   bool learnsStalls = false) {
    auto out = std::make_unique<WOUT>(
        [log = log_](int*) { return std::make_unique<FakePcmDevice>(log); }, roomWait,
        learnsStalls);
    EXPECT_TRUE(out->Open());
    return out;
  }
  bool Write(WOUT& out, uint8_t fill) {
    std::vector<uint8_t> block(kBlockBytes, fill);
    return out.Write(block.data(), block.size());
  }
  // Waits until the device is busy with a buffer it will not finish without a permit.
  void WaitUntilPlaying() {
    std::unique_lock guard(log_->mutex);
    log_->changed.wait(guard, [&] { return log_->playing > 0; });
  }
  std::shared_ptr<FakeDeviceLog> log_ = [] {
    auto log = std::make_shared<FakeDeviceLog>();
    log->paced = true;
    return log;
  }();
};

TEST_F(WaveOutputFlowTest, FullQueueMakesTheNextWriteWaitUntilTheDeviceCatchesUp) {
  auto out = MakeOutput();
  for (uint8_t i = 1; i <= 6; ++i) ASSERT_TRUE(Write(*out, i));  // 5 start, the 6th fills
  WaitUntilPlaying();
  std::atomic<bool> written{false};
  std::thread source([&] {
    Write(*out, 7);
    written = true;
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(written);
  log_->Permit(1);  // six queued, one back: still full
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(written);
  log_->Permit(1);  // four queued: room
  source.join();
  EXPECT_TRUE(written);
  log_->Permit(100);
  for (auto deadline = std::chrono::steady_clock::now() + 5s;
       log_->PlayedCount() < 7 && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(log_->PlayedCount(), 7u);
  for (uint8_t i = 0; i < 7; ++i) EXPECT_EQ(log_->played[i][0], std::byte(i + 1));
}

TEST_F(WaveOutputFlowTest, DestroyingAFullOutputStopsTheSoundAtOnce) {
  auto out = MakeOutput();
  for (uint8_t i = 1; i <= 6; ++i) ASSERT_TRUE(Write(*out, i));
  WaitUntilPlaying();
  out.reset();  // the device never finishes a buffer: only an interrupt ends this
  EXPECT_TRUE(log_->interrupted);
  EXPECT_TRUE(log_->dropped);
  EXPECT_EQ(log_->PlayedCount(), 0u);
}

TEST_F(WaveOutputFlowTest, RoomTimeOutIsReportedAndTheBlockStillQueued) {
  auto out = MakeOutput(30ms);
  for (uint8_t i = 1; i <= 6; ++i) ASSERT_TRUE(Write(*out, i));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Write(*out, 7));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Wave output: the sound device took no buffer"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_EQ(out->QueuedBuffers(), 7u);
}

TEST_F(WaveOutputFlowTest, FailingDeviceStillHandsBuffersBack) {
  log_->failWith = -EIO;
  auto out = MakeOutput();
  for (uint8_t i = 1; i <= 40; ++i) ASSERT_TRUE(Write(*out, i));  // would stall if kept
  for (auto deadline = std::chrono::steady_clock::now() + 5s;
       out->QueuedBuffers() > 0 && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(out->QueuedBuffers(), 0u);
  EXPECT_EQ(out->LastResult(), -EIO);
}

// A decoder packet of 4,608 frames (a FLAC packet, 96 ms) is queued as 512-frame buffers,
// so five buffers are still about 53 ms and the write waits for room like five blocks would.
TEST_F(WaveOutputFlowTest, ALongWriteIsQueuedInBlocksAndBoundedLikeThem) {
  auto out = MakeOutput();
  constexpr size_t kBlocks = 9;
  std::vector<uint8_t> packet(kBlocks * kBlockBytes);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = uint8_t(i / kBlockBytes + 1);
  std::atomic<bool> written{false};
  std::thread source([&] {
    out->Write(packet.data(), packet.size());
    written = true;
  });
  WaitUntilPlaying();
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(written);
  EXPECT_EQ(out->QueuedBuffers(), WOUT::maxQueued + 1);  // the pre-roll, and one that fills
  log_->Permit(100);
  source.join();
  for (auto deadline = std::chrono::steady_clock::now() + 5s;
       log_->PlayedCount() < kBlocks && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(log_->PlayedCount(), kBlocks);
  for (size_t i = 0; i < kBlocks; ++i) {
    EXPECT_EQ(log_->played[i].size(), kBlockBytes);
    EXPECT_EQ(log_->played[i][0], std::byte(i + 1));
  }
}

// A device that takes buffers long before it plays them (ALSA's own buffer) must not add
// its time to the queue's: a buffer is queued until the device says it has been heard.
TEST_F(WaveOutputFlowTest, ABufferStaysQueuedUntilTheDeviceHasPlayedIt) {
  log_->paced = false;
  log_->held = 5 * 512;
  auto out = MakeOutput(30ms);
  for (uint8_t i = 1; i <= 5; ++i) ASSERT_TRUE(Write(*out, i));
  for (auto deadline = std::chrono::steady_clock::now() + 5s;
       log_->PlayedCount() < 5 && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(log_->PlayedCount(), 5u);
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(out->QueuedBuffers(), 5u);
  struct Step {
    size_t held, queued;
  };
  for (const Step step : {Step{3 * 512, 3}, Step{3 * 512 - 1, 3}, Step{1, 1}, Step{0, 0}}) {
    {
      std::lock_guard guard(log_->mutex);
      log_->held = step.held;
    }
    for (auto deadline = std::chrono::steady_clock::now() + 2s;
         out->QueuedBuffers() > step.queued && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(out->QueuedBuffers(), step.queued) << "with " << step.held << " frames held";
  }
}

// The writer run 30 ms late (here by a device slow to say what it holds): an output that
// learns keeps the deep queue from then on, and so do the process's later outputs; one that
// does not learn keeps its depth. The depth is what bounds the writes, not just a number.
TEST_F(WaveOutputFlowTest, AWriterRunLateDeepensTheQueueOfOutputsThatLearn) {
  for (const bool learns : {false, true}) {
    SCOPED_TRACE(learns ? "learns" : "fixed");
    WOUT::ForgetMachineStalls();
    log_ = std::make_shared<FakeDeviceLog>();
    log_->held = WOUT::maxQueued * WOUT::kBufferFrames;
    auto out = MakeOutput(30ms, learns);
    EXPECT_EQ(out->Depth(), WOUT::maxQueued);
    for (uint8_t i = 1; i <= WOUT::maxQueued; ++i) ASSERT_TRUE(Write(*out, i));
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         log_->PlayedCount() < WOUT::maxQueued && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(1ms);
    {
      std::lock_guard guard(log_->mutex);
      log_->heldDelay = 30ms;
    }
    const size_t want = learns ? WOUT::kDeepQueued : WOUT::maxQueued;
    for (auto deadline = std::chrono::steady_clock::now() + 300ms;
         out->Depth() != want && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(1ms);
    EXPECT_EQ(out->Depth(), want);
    EXPECT_EQ(WOUT::MachineStalls(), learns);

    testing::internal::CaptureStderr();
    for (size_t i = WOUT::maxQueued; i < WOUT::kDeepQueued; ++i) Write(*out, uint8_t(i + 1));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("took no buffer") == std::string::npos, learns) << err;

    auto next = MakeOutput(30ms, true);
    EXPECT_EQ(next->Depth(), want);
  }
  WOUT::ForgetMachineStalls();
}

// A buffer that comes 30 ms after the writer made room for it (the source, or its chain, held
// up) deepens the queue as a late writer does.
TEST_F(WaveOutputFlowTest, ABufferThatComesLateAfterTheWriterMadeRoomDeepensTheQueue) {
  WOUT::ForgetMachineStalls();
  log_ = std::make_shared<FakeDeviceLog>();
  log_->held = (WOUT::maxQueued + 1) * WOUT::kBufferFrames;
  auto out = MakeOutput(WOUT::kRoomWait, true);
  for (uint8_t i = 1; i <= WOUT::maxQueued + 1; ++i) ASSERT_TRUE(Write(*out, i));  // full
  std::thread source([&] {
    out->WaitForRoom();  // until the device has played enough
    std::this_thread::sleep_for(30ms);
    Write(*out, 7);
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(out->Depth(), WOUT::maxQueued);
  {
    std::lock_guard guard(log_->mutex);
    log_->held = (WOUT::maxQueued - 1) * WOUT::kBufferFrames;
  }
  source.join();
  EXPECT_EQ(out->Depth(), WOUT::kDeepQueued);
  WOUT::ForgetMachineStalls();
}

// While sound plays, a machine whose processors had less than a tenth of their time idle
// deepens the queue before any stall, until it has been calm for a while; one with time to
// spare does not.
TEST_F(WaveOutputFlowTest, AMachineBusyOnEveryProcessorDeepensTheQueue) {
  const std::string stat = testing::TempDir() + "wave_stat." + std::to_string(getpid());
  auto setStat = [&](const char* line) { std::ofstream(stat, std::ios::trunc) << line; };
  // A block every few milliseconds, for at most `time` or until `done`: each pass of the
  // writer looks at the machine once `kLoadLook` has gone by. The device plays them at once,
  // so the writer never waits with a time-out, and a busy test machine cannot run it late.
  auto feed = [&](WOUT& out, std::chrono::milliseconds time, const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + time;
         !done() && std::chrono::steady_clock::now() < end;) {
      Write(out, 1);
      std::this_thread::sleep_for(5ms);
    }
  };
  for (const bool busy : {false, true}) {
    SCOPED_TRACE(busy ? "busy" : "with time to spare");
    WOUT::ForgetMachineStalls();
    setStat("cpu  100 0 100 800 0 0 0 0 0 0\n");
    log_ = std::make_shared<FakeDeviceLog>();
    auto out = std::make_unique<WOUT>(
        [log = log_](int*) { return std::make_unique<FakePcmDevice>(log); }, WOUT::kRoomWait,
        true, stat);
    ASSERT_TRUE(out->Open());
    // The first look comes with the first pass, once the pre-roll is played.
    feed(*out, 5s, [&] { return log_->PlayedCount() >= WOUT::maxQueued; });
    feed(*out, kSettle, [] { return false; });
    setStat(busy ? "cpu  1000 0 1000 810 0 0 0 0 0 0\n" : "cpu  1000 0 1000 1800 0 0 0 0 0 0\n");
    if (busy)
      feed(*out, WOUT::kLoadLook + 2s, [&] { return out->Depth() == WOUT::kDeepQueued; });
    else
      feed(*out, WOUT::kLoadLook + 300ms, [] { return false; });  // past the second look
    EXPECT_EQ(out->Depth(), busy ? WOUT::kDeepQueued : WOUT::maxQueued);
    EXPECT_EQ(WOUT::MachineStalls(), busy);
    if (!busy) continue;
    // Calm again, and for long enough (forgetting stands for the wait): back to shallow.
    setStat("cpu  1000 0 1000 9000 0 0 0 0 0 0\n");
    WOUT::ForgetMachineStalls();
    feed(*out, WOUT::kLoadLook + 2s, [&] { return out->Depth() == WOUT::maxQueued; });
    EXPECT_EQ(out->Depth(), WOUT::maxQueued);
  }
  std::remove(stat.c_str());
  WOUT::ForgetMachineStalls();
}

}  // namespace
