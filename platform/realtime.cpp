// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/realtime.h"

#include <sched.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/debug.h"

namespace platform {
namespace {

// Low among real-time priorities: above every normal thread, below what audio servers and the
// kernel's own threads use.
constexpr int kPriority = 10;

thread_local bool raised = false;

}  // namespace

bool RaiseThreadToRealTime() {
  if (raised) return true;
  sched_param param{};
  param.sched_priority = kPriority;
  // A thread id of 0 is the calling thread, not the whole process.
  if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) != 0) {
    common::DebugLine(std::string("No real-time priority for audio: ") + std::strerror(errno));
    return false;
  }
  raised = true;
  return true;
}

void LowerThreadFromRealTime() {
  if (!raised) return;
  sched_param param{};
  sched_setscheduler(0, SCHED_OTHER, &param);
  raised = false;
}

bool ThreadIsRealTime() { return raised; }

}  // namespace platform
