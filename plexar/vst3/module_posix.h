// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace plexar::vst3 {

/// The shared library to load for `path`: a bundle `Name.vst3` becomes
/// `Name.vst3/Contents/<machine>-linux/Name.so`; anything else is used as it is.
std::filesystem::path ModuleBinaryPath(const std::filesystem::path& path);

/// dlopen with RTLD_NOW | RTLD_LOCAL; null (and `err` filled) on failure.
void* OpenModule(const std::filesystem::path& path, std::string* err);
void* ModuleSymbol(void* handle, const char* name);
void CloseModule(void* handle);

}  // namespace plexar::vst3
