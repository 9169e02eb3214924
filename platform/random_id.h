// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

/// A random version-4 UUID in its 36-character text form, upper-case hexadecimal
/// (8-4-4-4-12), from the kernel's random source.
std::string NewUuid();

/// `count` random bytes as lower-case hexadecimal text.
std::string RandomHex(size_t count);

}  // namespace platform
