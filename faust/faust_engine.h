// SPDX-License-Identifier: GPL-3.0-or-later
// The Faust engine module, unpacked from the executable once and loaded for the whole run.
#pragma once

#include <string>

#include "faust/engine/faust_exports.h"

/// Path of the unpacked engine module; empty until it was written.
extern std::string faustDll;
/// The loaded engine module; null when it could not be loaded.
extern void* faustModule;
/// The code handed to the engine by the next compiled load.
extern std::string faustCode;

/// Unpacks and loads the engine once; its path, or empty when this build carries none.
std::string EnsureFaustEngine();

/// Copies snippet `position` into `faustCode` and returns `EnsureFaustEngine()`; empty,
/// leaving `faustCode` alone, when there is no such snippet.
std::string PrepareFaust(size_t position);

/// A new engine object with one reference, or null when the engine is not loaded.
faust_engine::FaustExports* CreateEngineObject();

/// Releases engine objects.
struct EngineObjectRelease {
  void operator()(faust_engine::FaustExports* object) const { object->Release(); }
};
