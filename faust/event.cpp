// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/event.h"

namespace faust {

void Event::Set() {
  std::lock_guard guard(mutex_);
  signalled_ = true;
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void Event::Reset() {
  std::lock_guard guard(mutex_);
  signalled_ = false;
}

void Event::Wait() {
  std::unique_lock guard(mutex_);
  changed_.wait(guard, [this] { return signalled_; });
  if (!manualReset_) signalled_ = false;
}

bool Event::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock guard(mutex_);
  if (!changed_.wait_for(guard, timeout, [this] { return signalled_; })) return false;
  if (!manualReset_) signalled_ = false;
  return true;
}

}  // namespace faust
