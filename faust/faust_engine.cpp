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
#include "platform/resources.h"
#include "plexar/remote/host_process.h"
#include "plexar/remote/remote_vst.h"

namespace fs = std::filesystem;

std::string faustDll;
void* faustModule = nullptr;
std::string faustCode;

namespace {

constexpr char kResourceName[] = "FAUST_VST";
constexpr char kModuleName[] = "TessaryFaust.so";

bool SameBytes(const fs::path& file, const platform::Resource& blob) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat info {};
  bool same = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<size_t>(info.st_size) == blob.size;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 16]);
  for (size_t done = 0; same && done < blob.size;) {
    ssize_t n = read(fd, buffer.get(), std::min<size_t>(1 << 16, blob.size - done));
    if (n < 0 && errno == EINTR) continue;
    same = n > 0 && std::memcmp(buffer.get(), blob.data + done, static_cast<size_t>(n)) == 0;
    done += n > 0 ? static_cast<size_t>(n) : 0;
  }
  close(fd);
  return same;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n, size -= static_cast<size_t>(n);
  }
  return true;
}

// Written under a temporary name and renamed, so a module another run has loaded is never
// changed under it and a crash never leaves half a module.
bool WriteModule(const fs::path& target, const platform::Resource& blob) {
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  std::string temporary = target.string() + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, blob.data, blob.size) && fchmod(fd, 0755) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

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
  std::optional<platform::Resource> blob = platform::FindResource(kResourceName);
  if (!blob) return {};
  // Beside the unpacked CLI, so one folder holds what Tessary runs from.
  const fs::path target = platform::UnpackFolder() / kModuleName;
  if (!SameBytes(target, *blob) && !WriteModule(target, *blob)) {
    common::DebugLine("Cannot write the Faust engine to " + target.string());
    return {};
  }
  faustDll = target.string();
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
