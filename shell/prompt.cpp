// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/prompt.h"

#include "shell/session.h"

PromptState CurrentPromptState() {
  if (!statusKnown.load(std::memory_order_acquire)) return PromptState::Unknown;
  return IsAuthenticated() ? PromptState::SignedIn : PromptState::SignedOut;
}

std::string BuildPrompt(PromptState state, const std::string& folder) {
  switch (state) {
    case PromptState::SignedIn:
      return "\x1b[32m[AI] " + folder + ">\x1b[0m ";
    case PromptState::SignedOut:
      return "\x1b[31m[AI] " + folder + ">\x1b[0m ";
    case PromptState::Unknown:
      break;
  }
  return "[AI] " + folder + "> ";
}

std::string BannerText(int32_t mode) {
  return std::string("Tessary Ready. Mode: \x1b[32m") + ModeName(mode) +
         "\x1b[0m. Change mode with \x1b[31m/mode chat|cmd|faust\x1b[0m.\n";
}
