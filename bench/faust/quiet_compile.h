// SPDX-License-Identifier: GPL-3.0-or-later
// Compiling a snippet into a rack entry without its banner on standard output, which carries
// the program's own report.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "faust/faust_engine.h"
#include "faust/rack.h"

/// The entry, or null with the compiler's message in `error` when given.
inline std::shared_ptr<VST> CompileQuietly(const std::string& code, std::string* error = nullptr) {
  faustCode = code;
  auto record = std::make_shared<VST>();
  record->file = faustDll;
  std::fflush(stdout);
  const int saved = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  const bool loaded = LoadVst(*record, true);
  dup2(saved, 1);
  close(saved), close(null);
  if (!loaded && error) *error = record->error;
  return loaded ? record : nullptr;
}
