// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "shell/command_result.h"

/// Carries out the slash command or shell word a line starts with, if any.
CommandResult DispatchCommand(const std::string& line);

/// The red line that answers a workbench command outside faust mode.
void PrintModeMessage();
