// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and replacing writes for preset and bank files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace plexar {

bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>* bytes);

/// Written beside the target and renamed over it, so a failed write leaves no half file.
bool WriteWholeFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

}  // namespace plexar
