// SPDX-License-Identifier: GPL-3.0-or-later
// What the VST 3 view test plug-in records about its view, read by the tests through the
// module's exported TestViewRecord(). Written on the host's UI thread, read by the tests.
#pragma once

#include <atomic>

namespace plexar::testplug {

struct ViewRecord {
  std::atomic<int> created{0};
  std::atomic<int> attached{0};
  std::atomic<int> removed{0};
  std::atomic<int> released{0};
  std::atomic<unsigned long> parent{0};
  std::atomic<bool> runLoopFound{false};
  std::atomic<int> timerTicks{0};
  std::atomic<int> width{0};   // after the last onSize
  std::atomic<int> height{0};
};

using ViewRecordProc = ViewRecord* (*)();

/// The colour the view fills itself with on every timer tick.
inline constexpr unsigned long kViewColour = 0x00C000;
/// The size the view asks the frame for when a key is pressed.
inline constexpr int kGrownWidth = 300;
inline constexpr int kGrownHeight = 160;

}  // namespace plexar::testplug
