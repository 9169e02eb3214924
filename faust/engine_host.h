// SPDX-License-Identifier: GPL-3.0-or-later
// Tessary's hidden host mode: `tessary --plugin-host plugin|engine` serves one plug-in file,
// or the Faust engine and every compiled effect, on the socket it inherits as descriptor 3.
#pragma once

#include <string>

/// Runs the host named by `kind`; the process's exit status.
int RunPluginHost(const std::string& kind);

/// Checks `code` against the rules for model code and says why not in `*error`; the library
/// folder is the engine's.
bool ModelCodeAllowed(const std::string& code, std::string* error);
