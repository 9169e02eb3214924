// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// The first prompt of every faust-mode conversation; it names `libraryFolder`, the engine's
/// Faust library folder, when that is known.
std::string FaustPrompt(const std::string& libraryFolder);
