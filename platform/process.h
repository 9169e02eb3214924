// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// True when `name` is an executable file in one of the folders of PATH.
bool FindOnPath(const std::string& name);

/// Starts `argv` with `input` on its standard input and its output discarded, and waits for
/// it. Returns false when it could not be started or did not exit with 0.
bool RunWithInput(const std::vector<std::string>& argv, std::string_view input);

}  // namespace platform
