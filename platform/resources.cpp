// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/resources.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

namespace platform {
namespace {

std::map<std::string, Resource, std::less<>>& Table() {
  static std::map<std::string, Resource, std::less<>> table;
  return table;
}

}  // namespace

ResourceRegistration::ResourceRegistration(std::string_view name, const unsigned char* begin,
                                           const unsigned char* end, std::string_view sha256) {
  Table()[std::string(name)] = Resource{begin, size_t(end - begin), sha256};
}

void ReleaseResourcePages(const unsigned char* data, size_t size) {
  auto page = uintptr_t(sysconf(_SC_PAGESIZE));
  // Only whole pages inside the blob: its neighbours in the executable are not ours to drop.
  uintptr_t begin = (uintptr_t(data) + page - 1) & ~(page - 1);
  uintptr_t end = (uintptr_t(data) + size) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

std::filesystem::path UnpackFolder() {
  std::filesystem::path base;
  if (const char* xdg = getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = getenv("HOME");
    base = std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share";
  }
  return base / "tessary" / "933bd016-0397-42c9-b3e0-eaa7900ef53e";
}

std::optional<Resource> FindResource(std::string_view name) {
  auto found = Table().find(name);
  if (found == Table().end()) return std::nullopt;
  return found->second;
}

}  // namespace platform
