// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plexar::vst3 {

/// UTF-8 of a zero-terminated UTF-16 field of at most `units` code units.
std::string FromUtf16(const char16_t* text, size_t units);
/// Writes `text` as zero-terminated UTF-16 into a field of `units` code units (cut to fit).
void ToUtf16(std::string_view text, char16_t* field, size_t units);
/// A zero-terminated 8-bit field of at most `size` bytes.
std::string FromField(const char* field, size_t size);

}  // namespace plexar::vst3
