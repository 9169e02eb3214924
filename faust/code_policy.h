// SPDX-License-Identifier: GPL-3.0-or-later
// What Faust code from a model may say before it is compiled: foreign symbols only those the
// Faust libraries themselves declare, imports only of files in the library folder, no URLs,
// no sound files. The compiler never sees code that breaks a rule.
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace faust {

/// Every name the `*.lib` files of `folder` declare with ffunction, fvariable or fconstant.
std::set<std::string> ForeignNamesOfLibraries(const std::filesystem::path& folder);

struct CodePolicy {
  std::set<std::string> foreignNames;
  std::filesystem::path libraryFolder;
};

/// The policy for the library folder `folder` (read once per folder and kept).
const CodePolicy& PolicyFor(const std::filesystem::path& folder);

/// Empty when `code` keeps every rule; otherwise the message that says which construct broke
/// which rule. Never quotes anything but `code` itself.
std::string CheckModelCode(const std::string& code, const CodePolicy& policy);

}  // namespace faust
