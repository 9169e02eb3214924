// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "molt/bytes.h"

namespace Molt {

/// SHA-256 of files, remembered between starts with each file's device, inode, size,
/// modification and change times, so an unchanged large file is not read at every start.
/// The change time cannot be set by hand, so a file rewritten with an old modification time
/// still reads as changed. File times are coarse, so a file that changed shortly before it
/// was hashed is hashed again: it may have changed once more within the same tick.
/// A large file is signed in the same read and its signatures kept (signature_cache.h), so
/// that an update of it later need not read it again.
class HashCache {
 public:
  /// `store` empty: nothing is remembered.
  explicit HashCache(std::filesystem::path store);

  /// The file's hash, remembered or computed; nothing when it cannot be read.
  std::optional<Bytes> Hash(const std::filesystem::path& file);
  /// Writes the store when something new was learnt; a store that cannot be written is
  /// only a slower next start.
  void Save();

 private:
  struct Stamp {
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0, changed = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
  };
  struct Known {
    Stamp stamp;
    long long hashedAt = 0;  // wall clock, nanoseconds, taken before reading
    Bytes hash;
  };
  static bool Trusted(const Known& known, const Stamp& now);
  static std::optional<Stamp> StampOf(const std::filesystem::path& file);
  void Load();

  std::filesystem::path store_;
  std::map<std::string, Known> known_;
  bool changed_ = false;
};

/// "$XDG_CACHE_HOME/tessary/molt-hashes" (default "~/.cache"); empty without either.
std::filesystem::path DefaultHashStore();

}  // namespace Molt
