// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/names.h"

#include <algorithm>
#include <system_error>

namespace Molt {
namespace {

std::string Replace(std::string_view text, char from, char to) {
  std::string result(text);
  std::replace(result.begin(), result.end(), from, to);
  return result;
}

}  // namespace

std::string ToRecordName(std::string_view name) { return Replace(name, '/', '\\'); }

std::string ToWireName(std::string_view name) { return Replace(name, '\\', '/'); }

bool IsSafeName(std::string_view recordName) {
  if (recordName.empty() || recordName.front() == '\\') return false;
  if (recordName.size() >= 2 && recordName[1] == ':') return false;
  for (char c : recordName) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = recordName.find('\\', start);
    const std::string_view part = recordName.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::filesystem::path LocalPath(const std::filesystem::path& folder, std::string_view recordName) {
  return folder / ToWireName(recordName);
}

bool StaysInside(const std::filesystem::path& folder, const std::filesystem::path& path) {
  std::error_code error;
  auto root = std::filesystem::weakly_canonical(folder, error);
  if (error) return false;
  if (root.filename().empty()) root = root.parent_path();
  const auto parent = std::filesystem::weakly_canonical(path.parent_path(), error);
  if (error) return false;
  const auto [rootEnd, parentAt] =
      std::mismatch(root.begin(), root.end(), parent.begin(), parent.end());
  (void)parentAt;
  return rootEnd == root.end();
}

}  // namespace Molt
