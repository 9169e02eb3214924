// SPDX-License-Identifier: GPL-3.0-or-later
// An audio thread processing blocks while other threads queue MIDI, change parameters and
// switch bypass, as the workbench does.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "vst3_test_support.h"

namespace plexar {
namespace {

TEST(Vst3ThreadsTest, ProcessRunsWhileOtherThreadsQueueEventsAndChanges) {
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  ASSERT_EQ(vst->Resume(0), S_OK);
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    while (!stop) {
      RunBlock(vst.get());
      ++blocks;
    }
  });
  std::thread console([&] {
    for (int i = 0; i < 2000; ++i) {
      vst->SetParameter(0, static_cast<float>(i % 10) / 10);
      vst->SetBypass(i % 7 == 0);
      std::this_thread::yield();
    }
  });
  std::thread keyboard([&] {
    for (int i = 0; i < 2000; ++i) {
      MIDI note{};
      note.deltaTime = i % 5;
      note.bytes[0] = 0x90, note.bytes[1] = 60, note.bytes[2] = 90;
      vst->AddMidi(&note, 1, 0);
      std::this_thread::yield();
    }
  });
  console.join();
  keyboard.join();
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  vst->SetBypass(0);
  vst->SetParameter(0, 0.25f);
  RunBlock(vst.get());
  float value = 0;
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.25f);
}

}  // namespace
}  // namespace plexar
