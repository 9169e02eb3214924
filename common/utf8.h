// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace common {

/// How long the sequence that `lead` starts is (1 to 4); 0 for a byte that starts none.
size_t Utf8LengthFromLead(unsigned char lead);

/// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 when the bytes there
/// are not one: a stray continuation byte, an overlong form, a surrogate, a value beyond
/// U+10FFFF, or a sequence cut short by the end of `text`.
size_t Utf8SequenceAt(std::string_view text, size_t at);

/// `text` with every byte that is not part of a well-formed sequence replaced by U+FFFD, so
/// that it can go into JSON (which refuses invalid UTF-8) and to the terminal.
std::string RepairUtf8(std::string_view text);

}  // namespace common
