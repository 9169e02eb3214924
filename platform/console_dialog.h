// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace platform {

/// A hyperlink shown in a dialog's footer, written as an OSC 8 terminal link.
struct DialogLink {
  std::string text;
  std::string target;
};

/// A dialog button: the key that presses it and its label.
struct DialogButton {
  char key;
  std::string label;
};

/// What a console dialog shows: a framed block with a title, an instruction line, the content
/// and a footer of text and links.
struct ConsoleDialog {
  std::string title;
  std::string instruction;
  std::string content;
  std::vector<std::string> footer;  // pieces: plain text, or a link's index as "\x01<n>"
  std::vector<DialogLink> links;
  std::vector<DialogButton> buttons;
};

/// An OSC 8 hyperlink.
std::string TerminalLink(const std::string& text, const std::string& target);

/// The dialog as text, ready to print.
std::string RenderDialog(const ConsoleDialog& dialog);

/// Prints the dialog. On a terminal it then waits for one of the button keys (Enter and Escape
/// press the last button) and returns that key; otherwise it returns 0 at once.
char ShowDialog(const ConsoleDialog& dialog);

}  // namespace platform
