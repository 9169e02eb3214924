// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that ask the running back-end.
#include <cstdio>

#include "copilot/account.h"
#include "copilot/session_protocol.h"
#include "platform/console.h"
#include "platform/console_dialog.h"
#include "shell/commands.h"
#include "shell/session.h"

namespace {

platform::ConsoleDialog StatusDialog(const AccountStatus& status) {
  platform::ConsoleDialog dialog;
  dialog.title = dialog.instruction = "Copilot Status";
  dialog.content = StatusText(status);
  dialog.links = {{"account", "https://github.com/settings/copilot/features"},
                  {"models", "https://github.com/settings/models"},
                  {"authorized applications", "https://github.com/settings/connections/applications"},
                  {"Learn more", "https://docs.github.com/copilot"},
                  {"Report AI Abuse", "https://github.com/contact/report-abuse"}};
  if (status.installed) {
    dialog.footer = {"Copilot ", "\x01" "0", ", ", "\x01" "1", ", ", "\x01" "2", ".\r\n",
                     "\x01" "3", ". ", "\x01" "4", ". "};
  } else {
    dialog.footer = {"View your Copilot ", "\x01" "0", " and ", "\x01" "1", ".\r\n", "\x01" "3", "."};
  }
  dialog.buttons = {{'c', "Close"}};
  return dialog;
}

}  // namespace

CommandResult CompactConversation(const std::string&, const Words&) {
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  std::shared_ptr<COPILOT_SESSION> conversation = cmdSession.load()->Conversation();
  if (!client || !conversation) return Handled;
  nlohmann::json reply = CompactHistory(*client, conversation);
  try {
    const nlohmann::json& result = reply.at("result");
    unsigned tokens = result.at("tokensRemoved").get<unsigned>();
    unsigned messages = result.at("messagesRemoved").get<unsigned>();
    char line[128];
    std::snprintf(line, sizeof line, "\x1b[36mTokens removed: %u, Messages removed: %u\x1b[0m\r\n",
                  tokens, messages);
    platform::ConsoleWrite(line);
  } catch (const std::exception&) {
  }
  return Handled;
}

CommandResult ShowStatusDialog(const std::string&, const Words&) {
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  if (client) platform::ShowDialog(StatusDialog(GetStatus(*client)));
  return Handled;
}
