// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/workbench_link.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

#include "common/terminal_text.h"
#include "platform/console.h"
#include "platform/unpack.h"

// Defined when the program links the workbench in; the module's own copy is found by dlsym.
extern "C" const WorkbenchCalls* TessaryWorkbenchCalls() __attribute__((weak));

namespace {

constexpr char kResourceName[] = "WORKBENCH";
constexpr char kModuleName[] = "TessaryWorkbench.so";

std::once_flag loading;
std::atomic<const WorkbenchCalls*> loaded{nullptr};
std::string moduleFile;
std::string failure;  // why it could not be loaded
std::string hostProgram;
std::function<void()> noticeRedraw;

// Global, so that plug-ins loaded later find its X11 display handler before Xlib's own.
const WorkbenchCalls* LoadModule(const std::string& given) {
  std::string file = given;
  if (file.empty()) {
    std::optional<std::filesystem::path> unpacked = platform::UnpackResource(kResourceName, kModuleName, &failure);
    if (!unpacked) return nullptr;
    file = unpacked->string();
  }
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!module) {
    const char* why = dlerror();
    failure = why ? why : "it could not be loaded";
    return nullptr;
  }
  using Entry = const WorkbenchCalls* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(module, "TessaryWorkbenchCalls"));
  if (!entry) {
    failure = file + " is no workbench module";
    return nullptr;
  }
  moduleFile = file;
  return entry();
}

}  // namespace

void SetWorkbenchHosts(const std::string& program, std::function<void()> redraw) {
  hostProgram = program;
  noticeRedraw = std::move(redraw);
}

const WorkbenchCalls* Workbench(const std::string& file) {
  std::call_once(loading, [&] {
    const WorkbenchCalls* calls = TessaryWorkbenchCalls ? TessaryWorkbenchCalls() : LoadModule(file);
    if (calls) calls->start(hostProgram, noticeRedraw);
    loaded.store(calls);
  });
  const WorkbenchCalls* calls = loaded.load();
  if (!calls) {
    platform::ConsoleWrite("\x1b[31mThe Faust workbench cannot be loaded: " + common::TerminalSafeLine(failure) +
                           ".\x1b[0m\r\n");
  }
  return calls;
}

const WorkbenchCalls* LoadedWorkbench() { return loaded.load(); }

const std::string& WorkbenchModuleFile() { return moduleFile; }

CommandResult RunFaustCommand(const std::string& line, const Words& words) {
  const WorkbenchCalls* calls = Workbench();
  return calls ? calls->faustCommand(line, words) : Handled;
}

CommandResult RunVstCommand(const std::string& line, const Words& words) {
  const WorkbenchCalls* calls = Workbench();
  return calls ? calls->vstCommand(line, words) : Handled;
}

CommandResult RunSourceCommand(const std::string& line, const Words& words) {
  const WorkbenchCalls* calls = Workbench();
  return calls ? calls->sourceCommand(line, words) : Handled;
}
