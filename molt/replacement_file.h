// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace Molt {

/// The new content of a file, written beside it under a temporary name and renamed over it
/// only when complete. The target itself is never opened for writing: it may be the running
/// executable, which keeps its old inode. Dropped without Commit, the temporary file goes.
class ReplacementFile {
 public:
  /// `newMode` (less the umask) is the mode of a file that does not exist yet.
  static std::unique_ptr<ReplacementFile> Create(const std::filesystem::path& target,
                                                 std::string* error, mode_t newMode = 0755);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  /// Appends; every few MiB the disk is asked to start writing what came before, so that
  /// Commit's flush finds little left to wait for.
  bool Write(std::span<const std::uint8_t> bytes);
  /// Flushes what is written so far to the disk, so that Commit has less to wait for; may
  /// run on another thread while Write does. Errors are Commit's to report.
  void FlushSoFar() const;
  /// Flushes the content, gives it the old file's mode (a new file keeps the default),
  /// renames it over the target and flushes the folder.
  bool Commit(std::string* error);

 private:
  ReplacementFile(std::filesystem::path target, std::filesystem::path temporary, int fd)
      : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_;
  bool committed_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t writeBackFrom_ = 0;  // the first byte not yet handed to write-back
};

/// Removes temporary files that an interrupted earlier replacement of `target` left beside
/// it: those untouched for `age`, so that one still being written by another process stays.
void RemoveStaleReplacements(const std::filesystem::path& target,
                             std::chrono::seconds age = std::chrono::minutes(10));

/// Whether this process runs or has mapped the file at `path` (its executable, a library).
bool MappedByThisProcess(const std::filesystem::path& path);

}  // namespace Molt
