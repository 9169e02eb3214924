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

ClipboardRoutes CopyToClipboard(std::string_view text) {
  ClipboardRoutes routes;
  if (text.size() <= kTerminalClipboardLimit) {
    ConsoleWrite(ClipboardSequence(text));
    routes.terminal = true;
  }
  if (getenv("WAYLAND_DISPLAY") && FindOnPath("wl-copy")) {
    routes.tool = RunWithInput({"wl-copy"}, text);
  } else if (getenv("DISPLAY") && FindOnPath("xclip")) {
    routes.tool = RunWithInput({"xclip", "-selection", "clipboard"}, text);
  }
  return routes;
}

}  // namespace platform
