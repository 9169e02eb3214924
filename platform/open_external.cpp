// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_external.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// The address usually comes from a server: nothing but a plain web address may reach the
// desktop's opener, which would also run local files and other schemes.
bool IsWebAddress(const std::string& address) {
  std::string lower = common::ToLowerAscii(address.substr(0, 8));
  if (lower.rfind("https://", 0) != 0 && lower.rfind("http://", 0) != 0) return false;
  for (unsigned char c : address)
    if (c <= 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

bool OpenAddress(const std::string& address) {
  if (!IsWebAddress(address) || !FindOnPath("xdg-open")) return false;
  // The shell puts xdg-open in the background and exits at once: we reap the shell, and the
  // browser start can take as long as it likes without leaving a zombie behind. The address
  // is an argument of the shell, never part of its script.
  std::vector<std::string> argv = {"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh",
                                   address};
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  // Our control signals may be blocked; the browser must get them as usual, in a process
  // group of its own so the terminal's Ctrl+C does not reach it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  pid_t pid = -1;
  int started = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
