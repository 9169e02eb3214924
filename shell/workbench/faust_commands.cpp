// SPDX-License-Identifier: GPL-3.0-or-later
// /faust: the snippets the model wrote or the user loaded, and compiling them into the rack.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "common/terminal_text.h"
#include "faust/bundle.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "platform/write_target.h"
#include "shell/workbench/auto_compile.h"
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

constexpr off_t kMaxCodeBytes = 1 << 20;

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
  std::string error;
  std::optional<std::string> place = platform::WritableFile(file, &error);
  if (!place) return PrintRed("Cannot write " + error);
  std::ofstream out(*place, std::ios::binary | std::ios::trunc);
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
  std::string error;
  if (!file.empty() && !MayWriteFaustBundle(file, &error)) return PrintRed("Cannot save to " + file + ": " + error);
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

// Read without blocking on a FIFO and without limit on a device: the user named it.
std::optional<std::string> ReadCode(const std::string& file) {
  int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PrintRed("Cannot read " + file + ": " + std::strerror(errno)), std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return PrintRed("Cannot read " + file + ": not a regular file"), std::nullopt;
  if (info.st_size > kMaxCodeBytes)
    return PrintRed("Cannot read " + file + ": more than 1 MiB of code"), std::nullopt;
  std::string code(size_t(kMaxCodeBytes) + 1, '\0');
  size_t got = 0;
  while (got < code.size()) {
    ssize_t n = read(fd, code.data() + got, code.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return PrintRed("Cannot read " + file + ": " + std::strerror(errno)), std::nullopt;
    if (n == 0) break;
    got += size_t(n);
  }
  // The file may have grown since it was measured.
  if (got > size_t(kMaxCodeBytes)) return PrintRed("Cannot read " + file + ": more than 1 MiB of code"), std::nullopt;
  code.resize(got);
  return code;
}

void LoadSnippet(const std::string& file) {
  std::optional<std::string> code = ReadCode(file);
  if (!code) return;
  fausts.push_back(std::move(*code));
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
