// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

/// The most text sent through the terminal: terminals drop (or choke on) longer OSC 52
/// sequences, and base64 makes it a third longer still.
constexpr size_t kTerminalClipboardLimit = 75 * 1000;

struct ClipboardRoutes {
  bool terminal = false;  // OSC 52 was written
  bool tool = false;      // wl-copy or xclip took it
};

/// Puts `text` on the clipboard: through the terminal (OSC 52, which most terminal emulators
/// and tmux honour) when it is short enough, and through wl-copy or xclip when a desktop
/// session has one installed.
ClipboardRoutes CopyToClipboard(std::string_view text);

/// The terminal sequence that asks the terminal to put `text` on the clipboard.
std::string ClipboardSequence(std::string_view text);

}  // namespace platform
