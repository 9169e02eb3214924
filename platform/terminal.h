// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

/// True when standard input is a terminal (the line editor is used only then).
bool StandardInputIsTerminal();

/// Remembers the terminal settings of standard input so they can be put back when the process
/// is ended by a signal while the line editor has the terminal in its own mode.
/// Restoring is safe in a signal handler, and also switches bracketed paste off again when
/// the line editor had the terminal.
void SaveTerminalSettings();
void RestoreTerminalSettings();

/// Told by the line editor when it takes the terminal into its own mode and gives it back.
void NoteLineEditorTerminal(bool inEditorMode);

/// Puts the terminal back on every way out: a normal exit, exit() from a library, and the
/// fatal signals (the handler restores, then lets the signal do what it did before).
void RestoreTerminalOnEveryEnd();

}  // namespace platform
