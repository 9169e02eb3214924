// SPDX-License-Identifier: GPL-3.0-or-later
// The Faust workbench and the plug-in hosts live in a module of their own, loaded the first
// time they are used: chat and cmd mode never load its libraries (LLVM's users, GTK, FFmpeg,
// ALSA). The module reaches back into this program for the console, the session and the rest.
#pragma once

#include <functional>
#include <string>

#include "shell/commands.h"

/// What the program asks of the workbench.
struct WorkbenchCalls {
  CommandResult (*faustCommand)(const std::string& line, const Words& words);
  CommandResult (*vstCommand)(const std::string& line, const Words& words);
  CommandResult (*sourceCommand)(const std::string& line, const Words& words);
  /// Keeps the Faust code of a finished faust-mode answer and compiles it.
  void (*captureFaust)(const std::string& answer);
  /// Loads the engine and names the folder holding its Faust libraries; empty when unknown.
  std::string (*libraryFolder)();
  /// Ends a compile or a plug-in load under way in a host; false when none was.
  bool (*cancelHostCalls)();
  /// Stops every source's thread.
  void (*stopSources)();
  /// Ends the hosts and empties the rack, for the end of the run.
  void (*release)();
  /// Hosts are started from `program`; an empty one keeps plug-ins in this process.
  /// `redraw` shows the prompt again after a notice from a host.
  void (*start)(const std::string& program, std::function<void()> redraw);
  /// The main of a host process of kind "plugin" or "engine".
  int (*pluginHost)(const std::string& kind);
};

/// The name the module exports its calls under, and what a program that links the workbench
/// in (the tests) defines instead.
extern "C" const WorkbenchCalls* TessaryWorkbenchCalls();

/// How the program runs its hosts; called once before the workbench is first used.
void SetWorkbenchHosts(const std::string& program, std::function<void()> redraw);

/// The workbench, loaded on first use from `moduleFile` when given, else from the module
/// this executable carries. Null when it cannot be loaded, with the reason printed once.
const WorkbenchCalls* Workbench(const std::string& moduleFile = {});

/// The workbench when something has loaded it already, else null: for the end of the run and
/// Ctrl+C, which must not load it.
const WorkbenchCalls* LoadedWorkbench();

/// The file the workbench was loaded from; empty when it is linked into the program.
const std::string& WorkbenchModuleFile();

/// The dispatcher's rows for /faust, /vst and /source: the workbench's own commands, loaded
/// when first typed.
CommandResult RunFaustCommand(const std::string& line, const Words& words);
CommandResult RunVstCommand(const std::string& line, const Words& words);
CommandResult RunSourceCommand(const std::string& line, const Words& words);
