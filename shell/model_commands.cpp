// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that show or pick from the account snapshot.
#include <cstdio>

#include "common/terminal_text.h"
#include "common/text.h"
#include "platform/console.h"
#include "shell/commands.h"
#include "shell/session.h"
#include "shell/words.h"

using platform::ConsoleWrite;

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  int size = std::snprintf(nullptr, 0, format, args...);
  std::string out(size_t(size > 0 ? size : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, format, args...);
  return out;
}

}  // namespace

CommandResult SelectModel(const std::string& line, const Words&) {
  std::string argument = RestOfLine(line, 1);
  CMDSESSION& session = *cmdSession.load();
  std::string previous = session.model;
  AccountStatus status = CopilotStatus();
  const ModelInfo* selected = nullptr;
  int position = 1;
  for (const ModelInfo& entry : status.models) {
    if (common::ReadNumber(argument) == position++) argument = entry.name;
    if (common::EqualsIgnoringCase(entry.name, argument)) {
      selected = &entry;
      break;
    }
  }
  if (!selected) return Handled;
  ConsoleWrite("\x1b[32mActive model " + common::TerminalSafeLine(argument) + " (Rate " +
               std::to_string(selected->outputPrice) + ").\x1b[0m\r\n");
  session.model = selected->id;
  return session.model != previous ? NewConversation : Handled;
}

CommandResult ListModels(const std::string&, const Words&) {
  const std::string model = cmdSession.load()->model;
  AccountStatus status = CopilotStatus();
  int number = 1;
  for (const ModelInfo& entry : status.models) {
    std::string line = entry.id == model ? "\x1b[33m" : "\x1b[36m";
    line += Format("%02d. %04i\t%s\t%s [%s] \x1b[0m\r\n", number++, entry.outputPrice,
                   entry.isOllama ? "[Ollama]" : "[Copilot]",
                   common::TerminalSafeLine(entry.name).c_str(),
                   common::TerminalSafeLine(entry.id).c_str());
    ConsoleWrite(line);
  }
  return Handled;
}

CommandResult PrintQuota(const std::string&, const Words&) {
  AccountStatus status = CopilotStatus();
  for (const auto& [key, quota] : status.quotas) {
    ConsoleWrite(Format(
        "\x1b[34m%s\x1b[0m\r\n  \x1b[33mUsed %d, Remaining %.2f%%, Overage %d, Overage Allowed "
        "With Exhausted Quota %d\r\n",
        common::TerminalSafeLine(key).c_str(), quota.usedRequests, double(quota.remainingPercentage), quota.overage,
        quota.overageAllowedWithExhaustedQuota ? 1 : 0));
    ConsoleWrite("\x1b[0m");
  }
  return Handled;
}
