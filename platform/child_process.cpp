// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/child_process.h"

#include <signal.h>
#include <sys/wait.h>

#include <mutex>
#include <set>

#include "platform/spawn.h"

extern char** environ;

namespace platform {
namespace {

// Every child's group, so that an abrupt end can take them along. Never destroyed: a child
// may be ended during static destruction.
std::mutex& GroupsLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::set<pid_t>& Groups() {
  static auto* groups = new std::set<pid_t>;
  return *groups;
}

constexpr std::chrono::milliseconds kReapLimit{2000};

}  // namespace

void EndEveryChildProcess() {
  std::lock_guard guard(GroupsLock());
  for (pid_t group : Groups()) kill(-group, SIGKILL);
}

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; ++e) entries.emplace_back(*e);
  return entries;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment) {
  SpawnOptions options;
  options.environment = &environment;
  options.discardOutput = true;
  options.endWithUs = true;
  pid_ = Spawn(argv, options);
  if (pid_ <= 0) return;
  std::lock_guard guard(GroupsLock());
  Groups().insert(pid_);
}

ChildProcess::~ChildProcess() { Terminate(); }

bool ChildProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) reaped_ = true;
  return done == 0;
}

void ChildProcess::Terminate() {
  if (pid_ <= 0) return;
  {
    std::lock_guard guard(GroupsLock());
    Groups().erase(pid_);
  }
  // The group outlives a child that already exited when it left helpers behind.
  kill(-pid_, SIGKILL);
  if (!reaped_) {
    // The pid as well: a group can be missing when the child never got to form it.
    kill(pid_, SIGKILL);
    // A child stuck in the kernel (a dead network file system) is left to its parent-death
    // signal rather than holding up the caller.
    reaped_ = WaitForAtMost(pid_, kReapLimit);
  }
  pid_ = -1;
}

}  // namespace platform
