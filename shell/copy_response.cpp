// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/copy_response.h"

#include "platform/clipboard.h"
#include "platform/console.h"
#include "shell/session.h"

bool CopyLastResponse() {
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  if (!session) return false;
  std::string last;
  {
    std::lock_guard guard(session->crossThreadLock);
    if (session->responses.empty()) return false;
    last = session->responses.back();
  }
  copyTaken.store(1);
  platform::ClipboardRoutes routes = platform::CopyToClipboard(last);
  if (routes.terminal) {
    platform::ConsoleWrite("\r\n\x1b[32mResponse copied to clipboard.\x1b[0m");
  } else if (routes.tool) {
    platform::ConsoleWrite("\r\n\x1b[31mResponse of " + std::to_string(last.size()) +
                           " bytes copied only through wl-copy or xclip: too large for the "
                           "terminal.\x1b[0m");
  } else {
    platform::ConsoleWrite("\r\n\x1b[31mResponse of " + std::to_string(last.size()) +
                           " bytes not copied: too large for the terminal, and neither wl-copy "
                           "nor xclip is there.\x1b[0m");
  }
  return true;
}
