// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Molt {

using Bytes = std::vector<std::uint8_t>;

/// Lower-case hexadecimal text, two digits per byte.
std::string ToHex(std::span<const std::uint8_t> bytes);

/// Two digits per byte; a lone last digit is one byte of its own. Nothing for a character
/// that is no hexadecimal digit.
std::optional<Bytes> FromHex(std::string_view text);

inline Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace Molt
