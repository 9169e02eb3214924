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

namespace platform {

/// Runs `argv` (found through PATH when it has no slash) in `folder`, the way a shell runs a
/// foreground job: in a process group of its own that gets the terminal while it runs, so
/// Ctrl+C stops the program and not us. Waits for it. Returns false when it could not be
/// started.
bool RunInForeground(const std::vector<std::string>& argv, const std::string& folder);

/// Starts `argv` detached from us (its output discarded), without waiting. False when it could
/// not be started.
bool StartDetached(const std::vector<std::string>& argv);

}  // namespace platform
