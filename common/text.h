// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace common {

/// Reads a number the way the C runtime's atoi family does: leading blanks and one sign are
/// allowed, reading stops at the first non-digit, no digits read as 0. Values beyond the
/// 32-bit range are clamped instead of overflowing.
int ReadNumber(std::string_view text);

/// `value` converted to int, clamped to the int range first (NaN gives 0): converting a double
/// that does not fit is undefined behaviour, and peers may send any number.
int ClampToInt(double value);

/// `value` converted to float, clamped to the float range first (NaN stays NaN).
float ClampToFloat(double value);

/// ASCII-only comparison ignoring letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

/// ASCII lower case of `text`.
std::string ToLowerAscii(std::string_view text);

}  // namespace common
