// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

/// Standard Base64 with padding (RFC 4648 alphabet).
std::string EncodeBase64(std::string_view bytes);

/// Decodes standard Base64; white space is skipped. Returns nothing for any other character,
/// misplaced padding or a length that does not fit.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace common
