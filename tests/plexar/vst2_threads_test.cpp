// SPDX-License-Identifier: GPL-3.0-or-later
// An audio thread whose VST 2 plug-in asks the host for the time on every block, while other
// threads load and unload further plug-ins (writing the instance list) and queue MIDI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "vst2_test_support.h"

namespace plexar {
namespace {

TEST(Vst2ThreadsTest, HostRequestsWhileOtherObjectsComeAndGo) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2FX_SO);
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  auto* record = Record(vst.get());
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0}, unanswered{0};
  std::thread audio([&] {
    while (!stop) {
      RunBlock2(vst.get());
      if (record->lastTimeAddress == 0) ++unanswered;
      ++blocks;
    }
  });
  std::thread loader([&] {
    for (int i = 0; i < 30; ++i) {
      Vst2Ptr other = LoadVst2(TESSARY_V2FX_SO);
      EXPECT_EQ(AskHost(other.get(), vst2::audioMasterGetBlockSize), 512);
    }
  });
  std::thread midi([&] {
    for (int i = 0; i < 500; ++i) {
      MIDI note = {};
      note.bytes[0] = 0x90, note.bytes[1] = 60, note.bytes[2] = 90;
      vst->AddMidi(&note, 1, 0);
      std::this_thread::yield();
    }
  });
  loader.join();
  midi.join();
  while (blocks < 50) std::this_thread::yield();
  stop = true;
  audio.join();
  EXPECT_EQ(unanswered, 0);
  EXPECT_GT(record->eventCount, 0);
}

}  // namespace
}  // namespace plexar
