// SPDX-License-Identifier: GPL-3.0-or-later
// One audio source: a file played through its own chain of rack entries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct VST;

struct AUDIO_IN {
  std::atomic<int32_t> state{0};  // 0 stopped, 1 paused, 2 playing
  std::string file;
  std::shared_ptr<std::thread> thread;
  std::vector<std::shared_ptr<VST>> chain;  // changed only under workbenchLock
};
