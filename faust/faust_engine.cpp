// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/faust_engine.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/debug.h"
#include "faust/workbench.h"
#include "platform/unpack.h"
#include "plexar/remote/host_process.h"
#include "plexar/remote/remote_vst.h"

namespace fs = std::filesystem;

std::string faustDll;
void* faustModule = nullptr;
std::string faustCode;

namespace {

constexpr char kResourceName[] = "FAUST_VST";
constexpr char kModuleName[] = "TessaryFaust.so";

// The engine stays entered for the whole run, so rack entries coming and going never shut
// it down.
void EnterEngine() {
  using Entry = bool (*)(void*);
  if (auto entry = reinterpret_cast<Entry>(dlsym(faustModule, "ModuleEntry"))) entry(faustModule);
}

void ReadLibraryFolder() {
  std::unique_ptr<faust_engine::FaustExports, EngineObjectRelease> engine(CreateEngineObject());
  if (!engine) return;
  char folder[faust_engine::kTextBufferSize] = {};
  engine->LibraryFolder(folder, sizeof folder, true);
  folder[sizeof folder - 1] = 0;
  faustFolder = folder;
}

}  // namespace

faust_engine::FaustExports* CreateEngineObject() {
  if (!faustModule) return nullptr;
  auto create = reinterpret_cast<faust_engine::CreateFaustExportsProc>(
      dlsym(faustModule, "CreateFaustExportsClass"));
  if (!create) return nullptr;
  faust_engine::FaustExports* object = nullptr;
  create(&object);
  return object;
}

std::string EnsureFaustEngine() {
  if (!faustDll.empty()) return faustDll;
  // Beside the unpacked CLI, so one folder holds what Tessary runs from.
  std::string error;
  std::optional<fs::path> target = platform::UnpackResource(kResourceName, kModuleName, &error);
  if (!target) {
    common::DebugLine("Cannot unpack the Faust engine: " + error);
    return {};
  }
  faustDll = target->string();
  // With plug-in hosts the engine runs in its own host; this process only names its folder.
  if (plexar::remote::HostsConfigured()) {
    faustFolder = plexar::remote::EngineLibraryFolder();
    return faustDll;
  }
  faustModule = dlopen(faustDll.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!faustModule) {
    const char* why = dlerror();
    common::DebugLine(std::string("Cannot load the Faust engine: ") + (why ? why : "?"));
    return faustDll;
  }
  EnterEngine();
  ReadLibraryFolder();
  return faustDll;
}

std::string PrepareFaust(size_t position) {
  if (position >= fausts.size()) return {};
  faustCode = fausts[position];
  return EnsureFaustEngine();
}
