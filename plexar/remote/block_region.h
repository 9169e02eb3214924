// SPDX-License-Identifier: GPL-3.0-or-later
// One instance's shared audio region (see wire.h) and the futex hand-off on its two words.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "plexar/remote/wire.h"

namespace plexar::remote {

class BlockRegion {
 public:
  BlockRegion() = default;
  ~BlockRegion();
  BlockRegion(const BlockRegion&) = delete;
  BlockRegion& operator=(const BlockRegion&) = delete;

  /// Makes a new region in a memfd; false when the system refuses.
  bool Create(int32_t inputs, int32_t outputs, int32_t frames);
  /// Maps a region another process made; takes over `fd`. False when it is not the size the
  /// counts call for.
  bool Attach(int fd, int32_t inputs, int32_t outputs, int32_t frames);

  int Fd() const { return fd_; }
  BlockControl* Control() const { return static_cast<BlockControl*>(memory_); }
  float* Input(int32_t k) const;
  float* Output(int32_t k) const;
  int32_t Inputs() const { return inputs_; }
  int32_t Outputs() const { return outputs_; }
  int32_t Frames() const { return frames_; }

 private:
  void* memory_ = nullptr;
  size_t bytes_ = 0;
  int fd_ = -1;
  int32_t inputs_ = 0, outputs_ = 0, frames_ = 0;
};

/// Waits while `*word` holds `seen`, at most `timeout` (forever when negative). True when the
/// word changed; false on time-out.
bool FutexWaitChange(std::atomic<uint32_t>* word, uint32_t seen, std::chrono::nanoseconds timeout);
/// One wait while `*word` holds `seen`: returns on a change, a wake, or after `timeout`.
void FutexWaitOnce(std::atomic<uint32_t>* word, uint32_t seen, std::chrono::nanoseconds timeout);
/// Wakes every waiter on `word`.
void FutexWake(std::atomic<uint32_t>* word);

}  // namespace plexar::remote
