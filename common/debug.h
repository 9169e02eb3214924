// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace common {

/// One diagnostic line on standard error, only when TESSARY_DEBUG is set.
void DebugLine(std::string_view text);

}  // namespace common
