// SPDX-License-Identifier: GPL-3.0-or-later
// /faust: the snippets the model wrote or the user loaded, and compiling them into the rack.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/terminal_text.h"
#include "faust/bundle.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "shell/auto_compile.h"
#include "shell/commands.h"
#include "shell/words.h"

using platform::ConsoleWrite;

namespace {

constexpr char kFaustHelp[] =
    "/faust list\t\t\t List all saved faust code snippets\r\n"
    "/faust load <file>\t\t Adds manually specific DSP file as a faust code snippet\r\n"
    "/faust type <N>\t\t\t Display the Nth faust code snippet\r\n"
    "/faust compile <N> <file>\t Compile the Nth faust code snippet into a VST plugin and save "
    "to file\r\n"
    "/faust save <N> <file>\t\t Save the Nth faust code snippet to a file";

void PrintRed(const std::string& text) { ConsoleWrite("\x1b[31m" + text + ".\x1b[0m\r\n"); }

std::optional<size_t> SnippetIndex(const std::string& word) {
  std::optional<size_t> position = WorkbenchIndex(word, fausts.size());
  if (!position) PrintRed("Invalid index. Use /faust list to see available files");
  return position;
}

void TypeSnippet(size_t position) {
  ConsoleWrite("\x1b[36mFaust #" + std::to_string(position + 1) + ":\r\n" +
               common::TerminalSafe(fausts[position]) +
               "\x1b[0m\r\n");
}

void SaveSnippet(size_t position, const std::string& file) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(fausts[position].data(), static_cast<std::streamsize>(fausts[position].size()));
  out.close();
  if (!out) return PrintRed("Cannot write " + file + ": " + std::strerror(errno));
  ConsoleWrite("\x1b[34mFaust #" + std::to_string(position + 1) + " -> " + file + ".\x1b[0m\r\n");
}

void SaveBundle(const VST& record, size_t rackNumber, const std::string& file) {
  std::string error;
  std::string where = WriteFaustBundle(record.code, file, &error);
  if (where.empty()) return PrintRed("Cannot save VST #" + std::to_string(rackNumber) + " to " + file + ": " + error);
  ConsoleWrite("\x1b[34mVST #" + std::to_string(rackNumber) + " saved as " + where + ".\x1b[0m\r\n");
}

void CompileSnippet(size_t position, const std::string& file) {
  if (PrepareFaust(position).empty()) return PrintRed("Fail");
  auto record = std::make_shared<VST>();
  record->file = faustDll;
  if (!LoadVst(*record, true)) return;
  const size_t number = vsts.size() + 1;
  ConsoleWrite("\x1b[34mSuccess, #" + std::to_string(number) + ".\x1b[0m\r\n");
  {
    std::lock_guard guard(workbenchLock);
    vsts.push_back(record);
  }
  if (!file.empty()) SaveBundle(*record, number, file);
}

void LoadSnippet(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::error_code error;
  if (!in || std::filesystem::is_directory(file, error)) {
    return PrintRed("Cannot read " + file + ": " + std::strerror(errno ? errno : ENOENT));
  }
  std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return PrintRed("Cannot read " + file);
  fausts.push_back(std::move(code));
  ConsoleWrite("\x1b[34mLoaded Faust code from file " + file + " as snippet #" +
               std::to_string(fausts.size()) + ".\x1b[0m\r\n");
  AutoCompile(fausts.size() - 1);
}

}  // namespace

CommandResult FaustCommand(const std::string& line, const Words& words) {
  const std::string sub = words.size() > 1 ? words[1] : "";
  if (sub == "list") {
    ConsoleWrite("\x1b[36mFausts: " + std::to_string(fausts.size()) + "\x1b[0m\r\n");
  } else if (sub == "type" && words.size() >= 3) {
    if (auto position = SnippetIndex(words[2])) TypeSnippet(*position);
  } else if (sub == "save" && words.size() >= 4) {
    if (auto position = SnippetIndex(words[2])) SaveSnippet(*position, RestOfLine(line, 3));
  } else if (sub == "compile" && words.size() >= 3) {
    if (auto position = SnippetIndex(words[2])) CompileSnippet(*position, RestOfLine(line, 3));
  } else if (sub == "load" && words.size() >= 3) {
    LoadSnippet(RestOfLine(line, 2));
  } else {
    ConsoleWrite(std::string("\x1b[36m") + kFaustHelp + "\x1b[0m\r\n");
  }
  return Handled;
}
