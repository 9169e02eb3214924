// SPDX-License-Identifier: GPL-3.0-or-later
// /login and /logout: the device-flow sign-in and the stored token.
#include "common/terminal_text.h"
#include "copilot/device_signin.h"
#include "copilot/stored_token.h"
#include "platform/console.h"
#include "shell/commands.h"
#include "shell/session.h"

CommandResult SignIn(const std::string&, const Words&) {
  // The shell's own notion decides, not the store: after /logout the flow runs again even
  // though the running CLI still holds its token.
  if (IsAuthenticated()) return HandledQuietly;
  // Nothing is written where someone else could have planted the file.
  if (std::string problem = StoredTokenProblem(); !problem.empty()) {
    platform::ConsoleWriteError("\x1b[31mThe sign-in token cannot be stored: " + problem +
                                ".\x1b[0m\r\n");
    return Handled;
  }
  std::string failure;
  std::string token = DeviceSignIn(GitHubClientId(), &failure);
  if (token.empty()) {
    if (!failure.empty())
      platform::ConsoleWriteError("\x1b[31m" + common::TerminalSafeLine(failure) + "\x1b[0m\r\n");
    return Handled;
  }
  // A token that cannot be kept would be lost silently and the restart would come up signed
  // out again, so say why.
  std::string error;
  if (!StoreToken(token, &error)) {
    platform::ConsoleWriteError("\x1b[31mThe sign-in token could not be stored: " + error +
                                "\x1b[0m\r\n");
    return Handled;
  }
  return RestartBackend;
}

CommandResult SignOut(const std::string&, const Words&) {
  std::string error;
  if (!DeleteStoredToken(&error))
    platform::ConsoleWriteError("\x1b[31mThe stored token could not be removed: " + error +
                                ".\x1b[0m\r\n");
  return SignedOut;
}
