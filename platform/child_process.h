// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

/// A child process started in a process group of its own, with no terminal: its standard
/// streams go to /dev/null, so terminal signals and output never reach or come from it.
class ChildProcess {
 public:
  /// Starts `argv` with exactly `environment` ("NAME=value" entries). Running() tells whether
  /// the start worked.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
  ~ChildProcess();  // ends the whole group and reaps the child
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running();
  pid_t Pid() const { return pid_; }
  /// Kills the group (tools the child started go too) and reaps the child.
  void Terminate();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

/// Kills the group of every ChildProcess that exists, for an end that runs no destructors.
/// The children themselves also die with this process (a parent-death signal).
void EndEveryChildProcess();

/// The current process's environment as "NAME=value" entries, in order.
std::vector<std::string> CurrentEnvironment();

}  // namespace platform
