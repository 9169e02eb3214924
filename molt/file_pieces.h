// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace Molt {

/// Reads the whole file in pieces of at most 1 MiB, handing each to `piece` in order. False
/// when it cannot be opened or read.
bool ReadInPieces(const std::filesystem::path& path,
                  const std::function<void(std::span<const std::uint8_t>)>& piece);

}  // namespace Molt
