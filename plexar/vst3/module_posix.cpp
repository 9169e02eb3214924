// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/module_posix.h"

#include <dlfcn.h>
#include <sys/utsname.h>

namespace plexar::vst3 {

std::filesystem::path ModuleBinaryPath(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path bundle = path;
  if (!bundle.has_filename()) bundle = bundle.parent_path();  // trailing slash
  if (bundle.extension() != ".vst3" || !std::filesystem::is_directory(bundle, ec)) return path;
  utsname machine{};
  std::string arch = uname(&machine) == 0 ? machine.machine : "x86_64";
  return bundle / "Contents" / (arch + "-linux") / (bundle.stem().string() + ".so");
}

void* OpenModule(const std::filesystem::path& path, std::string* err) {
  dlerror();
  void* handle = dlopen(ModuleBinaryPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && err) {
    const char* why = dlerror();
    *err = why ? why : "cannot load module";
  }
  return handle;
}

void* ModuleSymbol(void* handle, const char* name) {
  return handle ? dlsym(handle, name) : nullptr;
}

void CloseModule(void* handle) {
  if (handle) dlclose(handle);
}

}  // namespace plexar::vst3
