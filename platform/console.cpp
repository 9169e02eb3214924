// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex& ConsoleLock() {
  static std::mutex lock;
  return lock;
}

void WriteLocked(FILE* stream, std::string_view text) {
  std::lock_guard guard(ConsoleLock());
  // stdout is shared with the line editor, which writes through the same FILE.
  fwrite(text.data(), 1, text.size(), stream);
  fflush(stream);
}

}  // namespace

void ConsoleWrite(std::string_view text) { WriteLocked(stdout, text); }

void ConsoleWriteError(std::string_view text) {
  fflush(stdout);
  WriteLocked(stderr, text);
}

}  // namespace platform
