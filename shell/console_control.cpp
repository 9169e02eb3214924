// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/console_control.h"

#include <chrono>
#include <thread>

#include "shell/render_state.h"
#include "shell/session.h"
#include "shell/submit_prompt.h"
#include "shell/workbench_link.h"

bool OnConsoleControl(platform::ControlEvent event) {
  if (event == platform::ControlEvent::CtrlC && RenderRunning()) {
    CancelRender();
    return true;
  }
  // A compile or a plug-in load in a host is ended, and a loop of repairs stops with it:
  // the session goes on.
  if (event == platform::ControlEvent::CtrlC) {
    const WorkbenchCalls* workbench = LoadedWorkbench();
    const bool cancelled = workbench && workbench->cancelHostCalls();
    if (StopRepairs() || cancelled) return true;
  }
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  if (event == platform::ControlEvent::CtrlC && session && session->ResponseCount() > 0 &&
      copyTaken.load() == 0) {
    copyTaken.store(1);
    return true;
  }
  bool busy = promptBusy.load() != 0;
  if (busy) AbortRunningPrompt();
  // A slow command (a plug-in that takes its time to load) cannot be interrupted, but the
  // conversation must not be lost over it.
  if (!busy && commandBusy.load() && event == platform::ControlEvent::CtrlC) return true;
  // A request to end (a session manager, a shutdown, the terminal gone) ends us even
  // mid-answer; only the keys are for the answer alone.
  if (busy && event != platform::ControlEvent::Close) return true;
  // The CLI gets a moment to take the abort before it is ended with us.
  for (int i = 0; busy && i < 50 && promptBusy.load() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  copilot.store(nullptr);
  return false;
}
