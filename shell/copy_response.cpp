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
  platform::CopyToClipboard(last);
  platform::ConsoleWrite("\r\n\x1b[32mResponse copied to clipboard.\x1b[0m");
  return true;
}
