// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Molt {

/// A name as the records keep it: "/" turned into "\".
std::string ToRecordName(std::string_view name);

/// A record name as the block list and the server write it: "\" turned into "/".
std::string ToWireName(std::string_view name);

/// Whether a name received from the server stays inside the installation folder: not empty,
/// not absolute (no leading separator, no drive letter), no empty, "." or ".." part, no
/// control character. A hostile or broken server must not reach files outside.
bool IsSafeName(std::string_view recordName);

/// `folder` joined with a record name.
std::filesystem::path LocalPath(const std::filesystem::path& folder, std::string_view recordName);

/// Whether `path`'s folder, after following symbolic links, still lies inside `folder`.
bool StaysInside(const std::filesystem::path& folder, const std::filesystem::path& path);

}  // namespace Molt
