// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/signin_view.h"

#include "common/terminal_text.h"
#include "platform/clipboard.h"
#include "platform/console.h"
#include "platform/console_dialog.h"
#include "platform/dialog_keys.h"
#include "platform/open_external.h"

namespace {

constexpr char kCopyKey = 'c';
constexpr char kOpenKey = 'g';
constexpr char kCancelKey = 'q';

// The values come from the network and are printed inside terminal escape sequences: a
// control character could end the hyperlink early and smuggle in sequences of its own.
std::string Printable(const std::string& text) { return common::TerminalSafeLine(text); }

class ConsoleSignInView : public SignInView {
 public:
  bool Show(const std::string& verificationUri, const std::string& userCode) override {
    std::string address = Printable(verificationUri);
    dialog_.title = "Copilot Authentication";
    dialog_.instruction = "GitHub Authentication Required";
    dialog_.content = "Please authenticate to github by going to\r\n\r\n" +
                      platform::TerminalLink(address, address) +
                      "\r\n\r\nand use the following code:\r\n\r\n" + Printable(userCode);
    dialog_.buttons = {{kCopyKey, "Copy code to clipboard"},
                       {kOpenKey, "Go to authentication URL"},
                       {kCancelKey, "Cancel"}};
    // Single-key mode first: a key pressed as soon as the dialog shows must neither be echoed
    // nor, for Ctrl+C, become a signal.
    keys_ = std::make_unique<platform::DialogKeyReader>(dialog_);
    platform::ConsoleWrite(platform::RenderDialog(dialog_));
    return keys_->Interactive();
  }

  SignInButton WaitForButton(std::chrono::milliseconds timeout) override {
    if (!keys_) return SignInButton::NoInput;
    switch (keys_->WaitForButton(timeout)) {
      case kCopyKey:
        return SignInButton::CopyCode;
      case kOpenKey:
        return SignInButton::OpenAddress;
      case kCancelKey:
        return SignInButton::Cancel;
      case -1:
        return SignInButton::NoInput;
      default:
        return SignInButton::None;
    }
  }

  void CopyCode(const std::string& userCode) override { platform::CopyToClipboard(userCode); }

  void OpenAddress(const std::string& verificationUri) override {
    platform::OpenAddress(verificationUri);
  }

 private:
  platform::ConsoleDialog dialog_;
  std::unique_ptr<platform::DialogKeyReader> keys_;
};

}  // namespace

std::unique_ptr<SignInView> MakeConsoleSignInView() {
  return std::make_unique<ConsoleSignInView>();
}
