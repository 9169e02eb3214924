// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

/// Where the CLI is unpacked: $XDG_DATA_HOME (or ~/.local/share)/tessary/<fixed id>/copilot.
std::filesystem::path CopilotInstallPath();

/// Writes the embedded CLI to its install path, unless the file there already holds exactly
/// these bytes. Returns the path, or empty when this build carries no CLI.
std::string ExtractCopilot();

/// Stops an unpacking in progress (nothing is left behind) and makes later ones return
/// empty; for the end of the program.
void CancelExtraction();

/// The CLI to run: $TESSARY_COPILOT_CLI when set, else the embedded one.
std::string CopilotExecutable();
