// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

/// The command-line values, owned by main for the whole run.
struct StartupOptions {
  std::string model = "gpt-4.1";
  std::string token;
  std::string folder;
  bool cli = false;
  std::string mode = "chat";
};

/// Parses the command line. On a parse error or the help request the help and the parser's
/// report are printed and the exit code comes back in `exitCode` instead of options.
std::optional<StartupOptions> ParseCommandLine(int argc, char** argv, int& exitCode);
