// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <string>

/// What the user did in the sign-in dialog.
enum class SignInButton {
  None,         // nothing within the wait
  CopyCode,     // "Copy code to clipboard"
  OpenAddress,  // "Go to authentication URL"
  Cancel,
  NoInput,  // nobody can press anything (no terminal, or its input has ended)
};

/// The sign-in dialog as the device flow sees it, so that tests can stand in for the user.
/// Called only by the thread running the sign-in.
class SignInView {
 public:
  virtual ~SignInView() = default;
  /// Shows the verification address and the user code. False when no button can be pressed.
  virtual bool Show(const std::string& verificationUri, const std::string& userCode) = 0;
  /// Waits at most `timeout` for a button; returns early when one is pressed.
  virtual SignInButton WaitForButton(std::chrono::milliseconds timeout) = 0;
  virtual void CopyCode(const std::string& userCode) = 0;
  virtual void OpenAddress(const std::string& verificationUri) = 0;
};

/// The dialog on the terminal: a framed block with the address as a hyperlink, the code and
/// three keys; the clipboard and the desktop's browser behind the first two. The terminal is
/// in single-key mode from Show until the view is destroyed.
std::unique_ptr<SignInView> MakeConsoleSignInView();
