// SPDX-License-Identifier: GPL-3.0-or-later
// Signatures of large local files, kept beside the hash store under the hash of the content
// they describe, so that an update does not read and sign the installed executable again.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <span>

#include "molt/bytes.h"

namespace Molt {

/// Files from this size on are signed when they are hashed for the store.
inline constexpr std::uint64_t kSignAheadSize = 8ull << 20;

/// The folder for `store`'s signatures: "<store>.sigs".
std::filesystem::path SignatureFolder(const std::filesystem::path& store);

/// The signatures kept for content of `contentSize` bytes with SHA-256 `hash`; nothing when
/// none are kept or they are damaged. Wrong ones could only make a plan whose rebuilt file
/// fails the whole-file hash check, so nothing would be written.
std::optional<Bytes> CachedSignatures(const std::filesystem::path& store,
                                      std::span<const std::uint8_t> hash,
                                      std::uint64_t contentSize);

/// Keeps `signatures` for content with SHA-256 `hash`; a folder that cannot be written is
/// only a slower update.
void KeepSignatures(const std::filesystem::path& store, std::span<const std::uint8_t> hash,
                    std::span<const std::uint8_t> signatures);

/// Removes kept signatures of any content whose hash is not in `current` (hexadecimal).
void PruneSignatures(const std::filesystem::path& store, const std::set<std::string>& current);

}  // namespace Molt
