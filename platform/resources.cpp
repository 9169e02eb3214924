// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/resources.h"

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

std::optional<Resource> FindResource(std::string_view name) {
  auto found = Table().find(name);
  if (found == Table().end()) return std::nullopt;
  return found->second;
}

}  // namespace platform
