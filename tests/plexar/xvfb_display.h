// SPDX-License-Identifier: GPL-3.0-or-later
// A private X server for one test process: Xvfb on the first free display (it picks the
// number itself, so test processes running side by side never collide), ended at exit after
// everything that uses it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace plexar::testing {

inline pid_t& XvfbPid() {
  static pid_t pid = 0;
  return pid;
}

inline void StopXvfb() {
  if (XvfbPid() <= 0) return;
  kill(XvfbPid(), SIGTERM);
  waitpid(XvfbPid(), nullptr, 0);
  XvfbPid() = 0;
}

/// Starts Xvfb and sets DISPLAY; false when it does not come up within 10 s. Call it before
/// anything opens a display: the server is stopped by an exit handler registered here, which
/// runs after the handlers registered later (the editor's UI thread). `display` (":5") asks
/// for that display, as a server that comes back where it was; otherwise a free one is taken.
inline bool StartXvfb(const std::string& display = "") {
  if (XvfbPid() > 0) return true;
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(fds[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1), dup2(quiet, 2);
    const std::string fd = std::to_string(fds[1]);
    if (!display.empty()) {
      execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0",
             "1280x1024x24", "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    }
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  XvfbPid() = pid;
  std::atexit(StopXvfb);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c = 0;
  while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return false;
  setenv("DISPLAY", (":" + number).c_str(), 1);
  // No accessibility bus here; GTK's bridge to it keeps allocations that GLib's frames (built
  // without frame pointers) hide from the leak suppressions.
  setenv("NO_AT_BRIDGE", "1", 1);
  // Nor a session bus: the file dialogs keep their settings in memory.
  setenv("GSETTINGS_BACKEND", "memory", 1);
  return true;
}

/// Polls `ready` every 20 ms for up to `seconds`.
template <class F>
bool WaitFor(F&& ready, double seconds = 10) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace plexar::testing
