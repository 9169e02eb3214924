// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace platform {

/// How a child is started. Every child starts with no blocked signals and default signal
/// handling: our control signals are blocked in every thread, and that must not carry over.
struct SpawnOptions {
  const std::vector<std::string>* environment = nullptr;  // "NAME=value"; null: ours
  std::string folder;         // working folder; empty: ours
  bool ownGroup = true;       // a process group of its own
  bool discardOutput = false; // standard output and error to /dev/null
  int input = -1;             // descriptor for standard input; -1: /dev/null when output is
                              // discarded, else ours
  bool endWithUs = false;     // the child is killed when this process dies, however it dies
};

/// Starts `argv` (through PATH when argv[0] has no slash). The child's pid, or -1 when it
/// could not be started.
pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options);

/// Waits for `pid` to end, through interruptions; its wait status.
int WaitFor(pid_t pid);

/// Reaps `pid` if it ends within `limit` (its wait status to `status`); false when it is
/// still running then.
bool WaitForAtMost(pid_t pid, std::chrono::milliseconds limit, int* status = nullptr);

}  // namespace platform
