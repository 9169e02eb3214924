// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dispatch.h"

#include <functional>

#include "platform/console.h"
#include "shell/commands.h"
#include "shell/session.h"
#include "shell/words.h"
#include "shell/workbench_link.h"

namespace {

struct CommandRow {
  const char* word;
  size_t minWords;  // a shorter line falls through to later rows
  std::function<bool()> condition;  // false: the row is skipped
  bool faustOnly;                   // outside faust mode: the mode message instead
  CommandResult (*handler)(const std::string&, const Words&);
};

bool InCmdMode() { return cmdSession.load()->mode == kCmdMode; }
bool ClientExists() { return copilot.load() != nullptr; }
bool Always() { return true; }

CommandResult Nothing(const std::string&, const Words&) { return Handled; }

// Order matters: the first row whose word, word count and condition match wins.
const CommandRow kCommands[] = {
    {"cd", 1, InCmdMode, false, ChangeDirectory},
    {"cls", 1, Always, false, ClearScreen},
    {"/compact", 1, Always, false, CompactConversation},
    {"/disabledskill", 2, Always, false, DisableSkill},
    {"/faust", 1, Always, true, RunFaustCommand},
    {"/help", 1, Always, false, PrintHelp},
    {"/login", 1, Always, false, SignIn},
    {"/logout", 1, Always, false, SignOut},
    {"/model", 1, Always, false, SelectModel},
    {"/mode", 2, Always, false, SelectMode},
    {"/mode", 1, Always, false, Nothing},
    {"/models", 1, Always, false, ListModels},
    {"/retries", 2, Always, false, SetRetries},
    {"/retries", 1, Always, false, Nothing},
    {"/autocompile", 1, Always, true, SetAutoCompile},
    {"/quota", 1, Always, false, PrintQuota},
    {"/skill", 2, Always, false, AddSkillFolder},
    {"/source", 1, Always, true, RunSourceCommand},
    {"/status", 1, ClientExists, false, ShowStatusDialog},
    {"/streaming", 1, ClientExists, false, ToggleStreaming},
    {"/thinking", 1, Always, false, ToggleThinking},
    {"/vst", 1, Always, true, RunVstCommand},
};

}  // namespace

void PrintModeMessage() {
  platform::ConsoleWrite("\x1b[31mThis command is only available in faust mode.\x1b[0m\r\n");
}

CommandResult DispatchCommand(const std::string& line) {
  Words words = SplitWords(line);
  if (words.empty()) return NotACommand;
  for (const CommandRow& row : kCommands) {
    if (words[0] != row.word || words.size() < row.minWords || !row.condition()) continue;
    if (row.faustOnly && cmdSession.load()->mode != kFaustMode) {
      PrintModeMessage();
      return Handled;
    }
    return row.handler(line, words);
  }
  return NotACommand;
}
