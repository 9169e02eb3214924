// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

/// A blob linked into the executable at build time.
struct Resource {
  const unsigned char* data;
  size_t size;
  std::string_view sha256;  // hexadecimal digest of the bytes, computed by the build
};

/// The blob of that name, or nothing when the build did not include it.
std::optional<Resource> FindResource(std::string_view name);

/// Lets go of the pages of `data` (part of a resource) that this process has read: they stay
/// in the page cache and come back from the executable when read again.
void ReleaseResourcePages(const unsigned char* data, size_t size);

/// Where blobs are unpacked to run from: $XDG_DATA_HOME (or ~/.local/share)/tessary/<fixed id>.
std::filesystem::path UnpackFolder();

/// Made by the build's generated code, one per blob, before main runs.
struct ResourceRegistration {
  ResourceRegistration(std::string_view name, const unsigned char* begin,
                       const unsigned char* end, std::string_view sha256);
};

}  // namespace platform
