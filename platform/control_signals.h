// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <thread>

namespace platform {

/// The console events a user or the system can send: Ctrl+C (SIGINT), Ctrl+\ (SIGQUIT), and
/// the terminal going away or a request to end (SIGHUP, SIGTERM).
enum class ControlEvent { CtrlC, CtrlBreak, Close };

/// Blocks the control signals in the calling thread. Call it first thing in main, before any
/// thread is started, so every thread inherits the mask and only the control thread sees them.
void BlockControlSignals();

/// One thread that waits for the control signals and hands each to `handler`. When the handler
/// returns false the event was not consumed: the terminal settings are put back and the
/// process ends the way the signal would have ended it.
class ControlSignalThread {
 public:
  explicit ControlSignalThread(std::function<bool(ControlEvent)> handler);
  ~ControlSignalThread();  // stops and joins the thread
  ControlSignalThread(const ControlSignalThread&) = delete;
  ControlSignalThread& operator=(const ControlSignalThread&) = delete;

 private:
  void Run();

  std::function<bool(ControlEvent)> handler_;
  std::thread thread_;
};

}  // namespace platform
