// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/cmd_mode.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/process.h"
#include "shell/command_result.h"
#include "shell/session.h"
#include "shell/words.h"

namespace fs = std::filesystem;

const char kCmdModePrompt[] =
    "You are an expert cmd line tool assistant for Linux. For each direction you will be given, "
    "you return a json containing commands, parameters, comments like this:\n{\n\"commands\": [\n"
    "{\"cmd\": \"dir\",\"host\":\"sh|bash\", \"args\": [\"~/Downloads\"]},\n"
    "{\"cmd\": \"filter\",\"host\":\"sh|bash\", \"args\": [\"size > 100MB\"]},\n"
    "{\"cmd\": \"del\",\"host\":\"sh|bash\", \"args\": [\"*.*\",\"/q\"]}\n]\n}\n";

namespace {

// A started program gets at most this much of the line, as the command-line buffer allowed.
constexpr size_t kCommandLineLimit = 9999;

const char* const kBuiltinWords[] = {"dir"};

bool IsDirectory(const fs::path& path) {
  std::error_code error;  // an unreadable path simply does not name a folder
  return fs::is_directory(path, error);
}

bool EnterFolder(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error).lexically_normal();
  if (error || chdir(absolute.c_str()) != 0) return false;
  std::string text = absolute.string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  cmdSession.load()->folder = text;
  return true;
}

bool LooksLikeAddress(const std::string& line) {
  size_t colon = line.find("://");
  return colon != std::string::npos && colon > 0 && line.find(' ') == std::string::npos;
}

}  // namespace

int RunShellBuiltin(const std::string& line) {
  for (const char* word : kBuiltinWords) {
    // The whole first word: "directions to the station" is a sentence for the model.
    std::string_view rest = std::string_view(line).substr(std::min(line.size(), std::strlen(word)));
    if (line.rfind(word, 0) != 0 || !(rest.empty() || rest[0] == ' ' || rest[0] == '\t')) continue;
    std::string command = line.substr(0, kCommandLineLimit);
    platform::RunInForeground({"/bin/sh", "-c", command}, cmdSession.load()->folder);
    return Handled;
  }
  return NotACommand;
}

bool RunLocally(const std::string& line) {
  const std::string folder = cmdSession.load()->folder;
  if (IsDirectory(line) && EnterFolder(line)) return true;
  fs::path candidate = line.rfind('/', 0) == 0 ? fs::path(line) : fs::path(folder) / line;
  if (IsDirectory(candidate) && EnterFolder(candidate)) return true;

  std::vector<std::string> words = SplitWords(line.substr(0, kCommandLineLimit));
  if (!words.empty() && platform::RunInForeground(words, folder)) return true;

  std::error_code error;
  bool exists = fs::exists(candidate, error);
  if ((exists || LooksLikeAddress(line)) &&
      platform::StartDetached({"xdg-open", exists ? candidate.string() : line}))
    return true;
  return false;
}
