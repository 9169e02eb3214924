// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup_options.h"

#include <CLI/CLI.hpp>
#include <iostream>

std::optional<StartupOptions> ParseCommandLine(int argc, char** argv, int& exitCode) {
  StartupOptions options;
  CLI::App app{"Tessary Chat", ""};
  app.set_help_flag("-h,--help", "Print this help message and exit");
  app.add_option("-m,--model", options.model, "")->type_name("TEXT");
  app.add_option("-t,--token", options.token, "")->type_name("TEXT");
  app.add_option("-f,--folder", options.folder, "")->type_name("TEXT");
  app.add_flag("--cli", options.cli, "");
  CLI::Validator modeValidator(
      [](std::string& value) -> std::string {
        if (value == "chat" || value == "cmd" || value == "faust") return {};
        return "Mode must be chat, cmd or faust";
      },
      "", "");
  app.add_option("-d,--mode", options.mode, "")->type_name("TEXT")->check(modeValidator);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // The help request prints the help itself; every other error shows it first.
    if (error.get_exit_code() != 0 || error.get_name() != "CallForHelp")
      std::cout << app.help() << std::endl;
    exitCode = app.exit(error);
    return std::nullopt;
  }
  return options;
}
