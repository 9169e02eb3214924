// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process.h"
#include "platform/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace platform {

bool FindOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  if (!path || name.empty() || name.find('/') != std::string::npos) return false;
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool RunWithInput(const std::vector<std::string>& argv, std::string_view input) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  SpawnOptions options;
  options.ownGroup = false;
  options.discardOutput = true;
  options.input = fds[0];
  pid_t pid = Spawn(argv, options);
  close(fds[0]);
  if (pid < 0) {
    close(fds[1]);
    return false;
  }
  // A tool that exits early must not end us with SIGPIPE.
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  size_t done = 0;
  while (done < input.size()) {
    ssize_t n = write(fds[1], input.data() + done, input.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  close(fds[1]);
  struct timespec none = {0, 0};
  while (sigtimedwait(&pipeSet, nullptr, &none) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  // A clipboard tool that hangs (a display that stopped answering) is killed, not waited for.
  int status = 0;
  if (!WaitForAtMost(pid, std::chrono::seconds(5), &status)) {
    kill(pid, SIGKILL);
    status = WaitFor(pid);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
