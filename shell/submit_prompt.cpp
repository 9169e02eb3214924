// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/submit_prompt.h"

#include "platform/console.h"
#include "shell/session.h"

void SubmitPrompt(const std::string&, PromptState state) {
  if (!IsAuthenticated()) {
    platform::ConsoleWrite(std::string("\x1b[31m") +
                           (state == PromptState::SignedOut ? "Not authenticated, run /login"
                                                            : "Not yet authenticated") +
                           "\x1b[0m \n");
    return;
  }
}
