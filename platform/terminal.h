// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

/// True when standard input is a terminal (the line editor is used only then).
bool StandardInputIsTerminal();

/// Remembers the terminal settings of standard input so they can be put back when the process
/// is ended by a signal while the line editor has the terminal in its own mode.
void SaveTerminalSettings();
void RestoreTerminalSettings();

}  // namespace platform
