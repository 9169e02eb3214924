// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/control_signals.h"

#include <pthread.h>
#include <signal.h>

#include "platform/terminal.h"

namespace platform {
namespace {

// SIGUSR2 only tells the control thread to stop.
constexpr int kStopSignal = SIGUSR2;

sigset_t ControlSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, kStopSignal}) sigaddset(&set, s);
  return set;
}

[[noreturn]] void EndLikeSignal(int signo) {
  RestoreTerminalSettings();
  signal(signo, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signo);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(signo);
  _exit(128 + signo);
}

}  // namespace

void BlockControlSignals() {
  sigset_t set = ControlSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ControlSignalThread::ControlSignalThread(std::function<bool(ControlEvent)> handler)
    : handler_(std::move(handler)), thread_([this] { Run(); }) {}

ControlSignalThread::~ControlSignalThread() {
  pthread_kill(thread_.native_handle(), kStopSignal);
  thread_.join();
}

void ControlSignalThread::Run() {
  sigset_t set = ControlSet();
  for (;;) {
    int signo = 0;
    if (sigwait(&set, &signo) != 0) continue;
    if (signo == kStopSignal) return;
    ControlEvent event = signo == SIGINT    ? ControlEvent::CtrlC
                         : signo == SIGQUIT ? ControlEvent::CtrlBreak
                                            : ControlEvent::Close;
    if (!handler_(event)) EndLikeSignal(signo);
  }
}

}  // namespace platform
