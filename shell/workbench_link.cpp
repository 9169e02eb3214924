// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/workbench_link.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <atomic>
#include <mutex>

#include "common/terminal_text.h"
#include "platform/console.h"
#include "platform/unpack.h"

// Defined when the program links the workbench in; the module's own copy is found by dlsym.
extern "C" const WorkbenchCalls* TessaryWorkbenchCalls() __attribute__((weak));

namespace {

constexpr char kResourceName[] = "WORKBENCH";

// The program's build id in hexadecimal, empty when it has none.
std::string BuildId() {
  std::string id;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        for (int k = 0; k < info->dlpi_phnum; ++k) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[k];
          if (segment.p_type != PT_NOTE) continue;
          auto* at = reinterpret_cast<const char*>(info->dlpi_addr + segment.p_vaddr);
          for (const char* end = at + segment.p_memsz; at + sizeof(ElfW(Nhdr)) <= end;) {
            auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
            const char* desc = at + sizeof *note + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && desc + note->n_descsz <= end) {
              static constexpr char kHex[] = "0123456789abcdef";
              auto& text = *static_cast<std::string*>(out);
              for (uint32_t b = 0; b < note->n_descsz; ++b)
                text += kHex[static_cast<unsigned char>(desc[b]) >> 4], text += kHex[desc[b] & 0xF];
              return 1;
            }
            at = desc + ((note->n_descsz + 3) & ~3u);
          }
        }
        return 1;  // the program comes first; the libraries are not asked
      },
      &id);
  return id;
}

// Named after the program's build, so that a newer tessary unpacking its own module never
// hands a running older one's hosts a module that does not fit it.
std::string ModuleName() {
  const std::string id = BuildId();
  return "TessaryWorkbench" + (id.empty() ? std::string() : "-" + id.substr(0, 16)) + ".so";
}

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
    std::optional<std::filesystem::path> unpacked = platform::UnpackResource(kResourceName, ModuleName(), &failure);
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
