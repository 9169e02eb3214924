// SPDX-License-Identifier: GPL-3.0-or-later
// Blobs of the executable written out as files to run from, such as modules to load.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

/// The resource `name` as the file `fileName` in the unpack folder: written there when it is
/// missing or holds other bytes, under a temporary name renamed into place, so a file another
/// run has loaded is never changed under it. Nothing when the build has no such blob or the
/// file cannot be written; `error` then says why.
std::optional<std::filesystem::path> UnpackResource(const char* name, const std::string& fileName,
                                                    std::string* error);

}  // namespace platform
