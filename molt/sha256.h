// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <openssl/evp.h>

#include <filesystem>
#include <optional>
#include <span>

#include "molt/bytes.h"

namespace Molt {

inline constexpr std::size_t kSha256Size = 32;

/// SHA-256 fed piece by piece.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  /// The digest of everything fed so far; the object then starts a new message.
  Bytes Finish();

 private:
  EVP_MD_CTX* context_;
};

Bytes HashBytes(std::span<const std::uint8_t> bytes);

/// The digest of a whole file; nothing when it cannot be read.
std::optional<Bytes> HashFile(const std::filesystem::path& path);

}  // namespace Molt
