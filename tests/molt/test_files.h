// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/resource.h>

#include <csignal>
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

/// While it lives, no file of this process may grow beyond `bytes`: a write past that fails
/// (EFBIG) as on a full disk, without the signal that would end the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit before_{};
  void (*handler_)(int) = SIG_DFL;
};

}  // namespace molt_test
