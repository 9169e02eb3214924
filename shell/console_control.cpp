// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/console_control.h"

#include "shell/render_state.h"
#include "shell/session.h"
#include "shell/submit_prompt.h"

bool OnConsoleControl(platform::ControlEvent event) {
  if (event == platform::ControlEvent::CtrlC && RenderRunning()) {
    CancelRender();
    return true;
  }
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  if (event == platform::ControlEvent::CtrlC && session && session->ResponseCount() > 0 &&
      copyTaken.load() == 0) {
    copyTaken.store(1);
    return true;
  }
  if (promptBusy.load() != 0) {
    AbortRunningPrompt();
    return true;
  }
  copilot.store(nullptr);
  return false;
}
