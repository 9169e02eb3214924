// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/file_filter.h"

#include <algorithm>

namespace Molt {

FileFilter::FileFilter(std::vector<std::string> patterns, bool includeOnly)
    : patterns_(std::move(patterns)), includeOnly_(includeOnly) {
  for (const std::string& pattern : patterns_) {
    try {
      compiled_.emplace_back(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error&) {
      // Kept out of `compiled_`: an expression that cannot be read matches no name.
    }
  }
}

bool FileFilter::Excludes(std::string_view name) const {
  const std::string text(name);
  const bool matched = std::any_of(compiled_.begin(), compiled_.end(),
                                   [&](const std::regex& r) { return std::regex_match(text, r); });
  return includeOnly_ ? !matched : matched;
}

std::string EscapeForPattern(std::string_view text) {
  static constexpr std::string_view kSpecial = R"(\^$.|?*+()[]{}/)";
  std::string escaped;
  for (char c : text) {
    if (kSpecial.find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace Molt
