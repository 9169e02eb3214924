// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// The first prompt of every cmd-mode conversation: asks for JSON command plans.
extern const char kCmdModePrompt[];

/// Runs a line that starts with a shell built-in word ("dir") through /bin/sh. Returns 0 when
/// it ran the line, NotACommand's code otherwise.
int RunShellBuiltin(const std::string& line);

/// cmd mode: changes to a folder the line names, runs the program it starts with, or opens
/// the document or address it names. True when the line was consumed.
bool RunLocally(const std::string& line);
