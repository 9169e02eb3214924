// SPDX-License-Identifier: GPL-3.0-or-later
// Ed25519 signatures over the hash list, so that whoever holds the update server cannot
// hand out files the publisher never signed. The signature travels in the hash archive's
// comment as "ed25519:" and Base64, over the exact bytes of the list's one entry.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "molt/bytes.h"

namespace Molt {

inline constexpr std::size_t kPublicKeySize = 32;

/// A raw public key from 64 hexadecimal digits; nothing for anything else.
std::optional<Bytes> ReadPublicKey(std::string_view hex);

/// Whether `comment` carries a valid signature of `list` by `publicKey`.
bool VerifyListComment(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> list,
                       std::string_view comment);

/// A private key for signing, read from a PEM file.
class SigningKey {
 public:
  /// Nothing (and `error` says why) when the file holds no Ed25519 private key.
  static std::optional<SigningKey> Load(const std::filesystem::path& pem, std::string* error);
  /// A new key, written to `pem` readable by its owner only.
  static std::optional<SigningKey> Generate(const std::filesystem::path& pem, std::string* error);

  /// The comment that signs `list`; empty when signing fails.
  std::string SignList(std::span<const std::uint8_t> list) const;
  /// The public half as 64 hexadecimal digits.
  std::string PublicKeyHex() const;

 private:
  explicit SigningKey(Bytes pem) : pem_(std::move(pem)) {}
  Bytes pem_;
};

}  // namespace Molt
