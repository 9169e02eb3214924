// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

/// Reads the lines the user types. On a terminal this is GNU readline in callback mode, with
/// no history and no completion; otherwise lines are read as they come.
///
/// Only one editor may exist at a time: readline's state is process-wide.
class LineEditor {
 public:
  /// `copyKey` runs when Ctrl+C is pressed while a line is edited. When it returns true, the
  /// text typed so far is handed back as the line, as Enter would.
  /// `promptSource` builds the prompt again when another thread asks for a redraw.
  LineEditor(std::function<bool()> copyKey, std::function<std::string()> promptSource);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  /// Returns the next line without its line end, or nothing when no line came: Ctrl+D on an
  /// empty line, or the end of a non-terminal input (then `AtEndOfInput` is true).
  std::optional<std::string> ReadLine(const std::string& prompt);

  /// True once a non-terminal input is exhausted or the terminal hung up.
  bool AtEndOfInput() const { return atEnd_; }

  bool Interactive() const { return interactive_; }

  /// Safe from any thread: the prompt is built again and redrawn in place; what the user has
  /// typed so far stays in the editor.
  void RequestRedraw();

 private:
  std::optional<std::string> ReadTerminalLine(const std::string& prompt);
  std::optional<std::string> ReadPlainLine();
  void Redraw();

  std::function<bool()> copyKey_;
  std::function<std::string()> promptSource_;
  bool interactive_;
  bool atEnd_ = false;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  friend struct LineEditorCallbacks;
};

/// Wraps the escape sequences of a prompt in readline's invisible-text markers so that only
/// the visible characters count for the cursor position.
std::string MarkInvisibleSequences(const std::string& prompt);

}  // namespace platform
