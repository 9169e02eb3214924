// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <termios.h>

#include <chrono>

#include "platform/console_dialog.h"

namespace platform {

/// The button keys of a dialog that stays open while other work goes on (a dialog that waits
/// for a background result). For its whole life the terminal delivers single keys without
/// echo; Ctrl+C arrives as a key too, so it cannot end the program with the terminal left in
/// that state. Used by one thread.
class DialogKeyReader {
 public:
  explicit DialogKeyReader(const ConsoleDialog& dialog);
  ~DialogKeyReader();
  DialogKeyReader(const DialogKeyReader&) = delete;
  DialogKeyReader& operator=(const DialogKeyReader&) = delete;

  /// False when standard input is no terminal: then no key can ever be pressed.
  bool Interactive() const { return interactive_; }

  /// Waits at most `timeout` for a button key and returns it (as the dialog spells it).
  /// Escape, q and Ctrl+C press the last button; arrow and function keys are ignored. 0 when
  /// no button was pressed in time, -1 when input has ended or there is no terminal.
  int WaitForButton(std::chrono::milliseconds timeout);

 private:
  /// After an Escape: true when it began a key's sequence, which is then read and dropped.
  bool DrainSequence();

  const ConsoleDialog& dialog_;
  bool interactive_ = false;
  struct termios saved_ {};
};

}  // namespace platform
