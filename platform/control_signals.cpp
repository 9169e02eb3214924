// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/control_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <exception>

#include "platform/child_process.h"
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
  // The children are in groups of their own: the signal below would not reach them.
  EndEveryChildProcess();
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

namespace {

// The next control signal, or SIGHUP when the terminal hung up without sending one (a shell
// that owns the terminal keeps it, or we are not its session leader).
int NextSignal(int signals, bool& watchTerminal) {
  for (;;) {
    struct pollfd fds[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, 0, 0}};
    if (poll(fds, watchTerminal ? 2 : 1, -1) < 0) continue;
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(signals, &info, sizeof info) == ssize_t(sizeof info)) return int(info.ssi_signo);
    }
    if (watchTerminal && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      watchTerminal = false;
      return SIGHUP;
    }
  }
}

}  // namespace

void ControlSignalThread::Run() {
  sigset_t set = ControlSet();
  int signals = signalfd(-1, &set, SFD_CLOEXEC);
  // Only a terminal is watched: a pipe's end is the normal end of the input, read to the last line.
  bool watchTerminal = StandardInputIsTerminal();
  for (;;) {
    int signo = NextSignal(signals, watchTerminal);
    if (signo == kStopSignal) break;
    ControlEvent event = signo == SIGINT    ? ControlEvent::CtrlC
                         : signo == SIGQUIT ? ControlEvent::CtrlBreak
                                            : ControlEvent::Close;
    bool consumed = false;
    try {
      consumed = handler_(event);
    } catch (const std::exception&) {
      consumed = event != ControlEvent::Close;
    }
    if (!consumed) EndLikeSignal(signo);
  }
  close(signals);
}

}  // namespace platform
