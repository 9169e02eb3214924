// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace faust {

/// A signalled / not-signalled flag threads wait on. A manual-reset event stays signalled
/// until `Reset`; an auto-reset event lets one waiter through and clears itself.
class Event {
 public:
  Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  void Wait();
  /// False when `timeout` passed without the event being signalled.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  const bool manualReset_;
  bool signalled_;
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace faust
