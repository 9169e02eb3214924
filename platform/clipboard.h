// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace platform {

/// Puts `text` on the clipboard: through the terminal (OSC 52, which most terminal emulators
/// and tmux honour), and through wl-copy or xclip when a desktop session has one installed.
void CopyToClipboard(std::string_view text);

/// The terminal sequence that asks the terminal to put `text` on the clipboard.
std::string ClipboardSequence(std::string_view text);

}  // namespace platform
