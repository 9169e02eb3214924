// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>
#include <unistd.h>

#include "platform/process.h"
#include "platform/spawn.h"

namespace platform {
namespace {

// Hands the terminal to `group`. Called from the background once the child has it, so the
// SIGTTOU that would stop us is held off meanwhile.
void GiveTerminal(int tty, pid_t group) {
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &old);
  tcsetpgrp(tty, group);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

bool RunInForeground(const std::vector<std::string>& argv, const std::string& folder) {
  if (argv.empty() || argv[0].empty()) return false;
  SpawnOptions options;
  options.folder = folder;
  pid_t pid = Spawn(argv, options);
  if (pid < 0) return false;
  int tty = isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
  if (tty >= 0) GiveTerminal(tty, pid);
  WaitFor(pid);
  if (tty >= 0) GiveTerminal(tty, getpgrp());
  return true;
}

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || !FindOnPath(argv[0])) return false;
  // A shell puts the program in the background and ends at once, so the program is nobody's
  // child here: no zombie, no thread waiting for it.
  std::vector<std::string> shell = {"/bin/sh", "-c", "\"$@\" </dev/null >/dev/null 2>&1 &", "sh"};
  shell.insert(shell.end(), argv.begin(), argv.end());
  return RunWithInput(shell, "");
}

}  // namespace platform
