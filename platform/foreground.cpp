// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process.h"

extern char** environ;

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

pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  // Our control signals are blocked in every thread; the program must get them as usual.
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

bool RunInForeground(const std::vector<std::string>& argv, const std::string& folder) {
  if (argv.empty() || argv[0].empty()) return false;
  pid_t pid = Spawn(argv, folder);
  if (pid < 0) return false;
  int tty = isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
  if (tty >= 0) GiveTerminal(tty, pid);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
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
