// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "faust/pcm_device.h"

namespace faust_test {

/// What a `FakePcmDevice` saw, kept by the test after the output has destroyed the device.
struct FakeDeviceLog {
  std::mutex mutex;
  std::condition_variable changed;
  bool paced = false;  // when set, each Play waits for a permit, like a device that is full
  int permits = 0;
  int failWith = 0;  // a Play result other than success
  size_t held = 0;   // frames the device says it has taken but not yet played
  std::chrono::milliseconds heldDelay{0};  // how long telling that takes: a writer run late
  bool interrupted = false;
  bool dropped = false;
  int playing = 0;  // Play calls in progress
  std::vector<std::vector<std::byte>> played;

  void Permit(int count) {
    std::lock_guard guard(mutex);
    permits += count;
    changed.notify_all();
  }
  size_t PlayedCount() {
    std::lock_guard guard(mutex);
    return played.size();
  }
};

class FakePcmDevice final : public faust::PcmDevice {
 public:
  explicit FakePcmDevice(std::shared_ptr<FakeDeviceLog> log) : log_(std::move(log)) {}

  int Play(const void* frames, size_t count) override {
    std::unique_lock guard(log_->mutex);
    if (log_->failWith != 0) return log_->failWith;
    ++log_->playing;
    log_->changed.notify_all();
    log_->changed.wait(guard,
                       [&] { return !log_->paced || log_->permits > 0 || log_->interrupted; });
    --log_->playing;
    if (log_->interrupted) return kInterrupted;
    if (log_->paced) --log_->permits;
    const auto* first = static_cast<const std::byte*>(frames);
    log_->played.emplace_back(first, first + count * faust::kFrameBytes);
    log_->changed.notify_all();
    return 0;
  }
  void Interrupt() override {
    std::lock_guard guard(log_->mutex);
    log_->interrupted = true;
    log_->changed.notify_all();
  }
  void Drop() override {
    std::lock_guard guard(log_->mutex);
    log_->dropped = true;
  }
  size_t Held() override {
    size_t held;
    std::chrono::milliseconds delay;
    {
      std::lock_guard guard(log_->mutex);
      held = log_->held;
      delay = log_->heldDelay;
    }
    std::this_thread::sleep_for(delay);
    return held;
  }

 private:
  std::shared_ptr<FakeDeviceLog> log_;
};

}  // namespace faust_test
