// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace Molt {

/// Which files of the installation take part in an update. Each pattern is an ECMAScript
/// regular expression matched against the whole relative name.
class FileFilter {
 public:
  FileFilter() = default;
  FileFilter(std::vector<std::string> patterns, bool includeOnly);

  /// With `includeOnly`, a name no pattern matches is excluded; without it, a name some
  /// pattern matches is. A pattern that is no valid expression matches nothing.
  bool Excludes(std::string_view name) const;

  const std::vector<std::string>& patterns() const { return patterns_; }
  bool includeOnly() const { return includeOnly_; }

 private:
  std::vector<std::string> patterns_;
  std::vector<std::regex> compiled_;
  bool includeOnly_ = false;
};

/// `text` with every regular-expression special character escaped, so that a file name
/// can serve as a pattern that matches only itself.
std::string EscapeForPattern(std::string_view text);

}  // namespace Molt
