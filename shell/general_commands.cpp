// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that only change the session or the console.
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "common/text.h"
#include "platform/console.h"
#include "shell/commands.h"
#include "shell/help_text.h"
#include "shell/session.h"
#include "shell/words.h"

using platform::ConsoleWrite;

namespace {

CMDSESSION& Session() { return *cmdSession.load(); }

std::string CurrentDirectory() {
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  return error ? std::string() : here.string();
}

}  // namespace

CommandResult ChangeDirectory(const std::string&, const Words& words) {
  if (words.size() < 2) return HandledQuietly;
  if (chdir(words[1].c_str()) != 0) {
    platform::ConsoleWriteError("\x1b[31mInvalid directory: " + words[1] + "\x1b[0m\n");
    return HandledQuietly;
  }
  Session().folder = CurrentDirectory();
  return Handled;
}

CommandResult ClearScreen(const std::string&, const Words&) {
  ConsoleWrite("\x1b[H\x1b[2J\x1b[3J");
  return Handled;
}

CommandResult DisableSkill(const std::string& line, const Words&) {
  std::string name = RestOfLine(line, 1);
  Session().options.disabledSkills.push_back(name);
  ConsoleWrite("\x1b[35m Skill " + name + " removed \x1b[0m\r\n");
  return NewConversation;
}

CommandResult AddSkillFolder(const std::string& line, const Words&) {
  std::string folder = RestOfLine(line, 1);
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    ConsoleWrite("\x1b[36mYou need to specify a directory.\x1b[0m\r\n");
    return Handled;
  }
  ConsoleWrite("\x1b[35m Folder " + folder + " added \x1b[0m\r\n");
  Session().options.skillDirectories.push_back(folder);
  return NewConversation;
}

CommandResult PrintHelp(const std::string&, const Words&) {
  ConsoleWrite(std::string(kHelpText) + "\n");
  return Handled;
}

CommandResult SelectMode(const std::string& line, const Words&) {
  std::string name = RestOfLine(line, 1);
  CMDSESSION& session = Session();
  if (name == "chat") session.mode = kChatMode;
  if (name == "faust") session.mode = kFaustMode;
  if (name == "cmd") session.mode = kCmdMode;
  ConsoleWrite(std::string("\x1b[32mMode: ") + ModeName(session.mode) + ".\x1b[0m\r\n");
  session.options.streaming = session.mode == kChatMode;
  return NewConversation;
}

CommandResult SetRetries(const std::string&, const Words& words) {
  CMDSESSION& session = Session();
  session.retries = session.retriesLeft = common::ReadNumber(words[1]);
  ConsoleWrite("\x1b[36mSet to " + std::to_string(session.retries) + ".\x1b[0m\r\n");
  return Handled;
}

CommandResult SetAutoCompile(const std::string&, const Words& words) {
  CMDSESSION& session = Session();
  if (words.size() == 2) {
    int level = common::ReadNumber(words[1]);
    session.autoCompile = level >= 0 && level <= 2 ? level : 2;
  }
  ConsoleWrite("\x1b[36mSet to " + std::to_string(session.autoCompile) + ".\x1b[0m\r\n");
  return Handled;
}

CommandResult ToggleStreaming(const std::string&, const Words&) {
  bool& streaming = Session().options.streaming;
  streaming = !streaming;
  ConsoleWrite(std::string("\x1b[32mStreaming ") + (streaming ? "On" : "Off") + ".\x1b[0m\r\n");
  return NewConversation;
}

CommandResult ToggleThinking(const std::string&, const Words&) {
  bool& thinking = Session().showThinking;
  thinking = !thinking;
  ConsoleWrite(std::string("\x1b[32mThinking ") + (thinking ? "On" : "Off") + ".\x1b[0m\r\n");
  return Handled;
}
