// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "molt/bytes.h"

namespace molt_test {

/// A fresh folder below $TMPDIR, removed with everything in it at the end of the scope.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// `size` bytes that look random, the same for the same seed; quick even for megabytes.
Molt::Bytes RandomBytes(std::size_t size, std::uint64_t seed);

void WriteFile(const std::filesystem::path& path, const Molt::Bytes& bytes);
Molt::Bytes ReadFile(const std::filesystem::path& path);

/// What a shell command writes on its standard output.
std::string ProgramOutput(const std::string& command);

/// The names of every entry below `folder`, relative, sorted.
std::vector<std::string> ListTree(const std::filesystem::path& folder);

}  // namespace molt_test
