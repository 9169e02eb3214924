// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/prompt_loop.h"

#include <exception>

#include "common/utf8.h"
#include "platform/console.h"
#include "shell/backend.h"
#include "shell/cmd_mode.h"
#include "shell/dispatch.h"
#include "shell/prompt.h"
#include "shell/session.h"
#include "shell/submit_prompt.h"

namespace {

void HandleLine(const std::string& line, PromptState state) {
  struct Busy {
    Busy() { commandBusy.store(true); }
    ~Busy() { commandBusy.store(false); }
  } busy;
  switch (DispatchCommand(line)) {
    case RestartBackend:
      RestartBackendThread();
      break;
    case SignedOut:
      ClearAuthenticated();
      break;
    case NewConversation:
      DropConversation();
      EnsureConversation();
      break;
    case NotACommand:
      if (RunShellBuiltin(line) == Handled) break;
      if (cmdSession.load()->mode == kCmdMode && RunLocally(line)) break;
      SubmitPrompt(line, state);
      break;
    default:
      break;
  }
}

}  // namespace

void RunPromptLoop(platform::LineEditor& editor) {
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  for (;;) {
    PromptState state = CurrentPromptState();
    std::optional<std::string> line = editor.ReadLine(BuildPrompt(state, session->folder));
    if (!line) {
      if (editor.AtEndOfInput()) return;
      continue;
    }
    if (line->empty()) continue;
    if (*line == "/exit" || *line == "/quit") return;
    // A Latin-1 terminal or a stray byte must not reach the JSON encoder, which throws on it.
    std::string repaired = common::RepairUtf8(*line);
    try {
      HandleLine(repaired, state);
    } catch (const std::exception& error) {
      promptBusy.store(0);
      platform::ConsoleWrite(std::string("\x1b[31m") + error.what() + "\x1b[0m\r\n");
    }
  }
}
