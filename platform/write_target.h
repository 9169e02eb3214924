// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace platform {

/// Where a file the user named may be written: the name itself when nothing is there or a
/// regular file is, or the regular file a symbolic link leads to, so that it is replaced beside
/// itself and the link stays. Anything else (a device, a FIFO, a socket, a folder, a broken
/// link) is refused before any work is done, with `error` saying why.
std::optional<std::string> WritableFile(const std::string& path, std::string* error);

}  // namespace platform
