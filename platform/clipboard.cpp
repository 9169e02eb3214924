// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clipboard.h"

#include <cstdlib>

#include "common/base64.h"
#include "platform/console.h"
#include "platform/process.h"

namespace platform {

std::string ClipboardSequence(std::string_view text) {
  return "\x1b]52;c;" + common::EncodeBase64(text) + "\x07";
}

void CopyToClipboard(std::string_view text) {
  ConsoleWrite(ClipboardSequence(text));
  if (getenv("WAYLAND_DISPLAY") && FindOnPath("wl-copy")) {
    RunWithInput({"wl-copy"}, text);
  } else if (getenv("DISPLAY") && FindOnPath("xclip")) {
    RunWithInput({"xclip", "-selection", "clipboard"}, text);
  }
}

}  // namespace platform
