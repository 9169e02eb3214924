// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

/// What the dispatcher tells the prompt loop to do after a line.
enum CommandResult : int32_t {
  NotACommand = int32_t(0x80004005u),
  Handled = 0,
  HandledQuietly = 1,
  RestartBackend = 4,
  SignedOut = 5,
  NewConversation = 6,
};
