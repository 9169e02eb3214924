// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "copilot/signin_view.h"

/// Where and how the sign-in talks to GitHub.
struct SignInSettings {
  std::string webHost = "https://github.com";  // scheme, host and optional port
  std::string clientId;
  std::chrono::milliseconds pollInterval{8000};
  int maxPolls = 100;
};

/// The OAuth client id built into the program (the TESSARY_GITHUB_CLIENT_ID build setting).
const char* GitHubClientId();

/// The settings for `clientId`: the web host from TESSARY_GITHUB_URL when set, and the poll
/// interval from TESSARY_SIGNIN_POLL_MS (milliseconds, a testing aid) when it is a positive
/// number.
SignInSettings SignInSettingsFromEnvironment(const std::string& clientId);

/// What the dialog and the polling thread share during one sign-in. It lives on the stack of
/// DeviceSignIn, which joins the poller before returning, so it outlives the thread.
struct SignInState {
  std::string clientId;
  std::string deviceCode;
  std::string userCode;
  std::unique_ptr<nlohmann::json> answer;  // the device-code answer
  std::string token;       // empty while waiting; " " when polling failed. Under `lock`.
  bool cancelled = false;  // under `lock`
  std::shared_ptr<std::thread> poller;

  std::string webHost;
  std::chrono::milliseconds pollInterval{8000};
  int maxPolls = 100;
  bool pollerDone = false;  // under `lock`
  std::mutex lock;
  /// Signalled when `token`, `cancelled` or `pollerDone` changes; the poller's pause waits on
  /// it, so Cancel does not have to wait out the pause.
  std::condition_variable changed;
};

/// Signs in with the GitHub device flow, showing the address and code on the terminal.
/// Returns the access token, or an empty string when none was obtained; blocks until the
/// dialog closes. When the server failed (not when the user cancelled), `failure` says how.
std::string DeviceSignIn(const std::string& clientId, std::string* failure = nullptr);

/// The same with explicit settings and dialog.
std::string DeviceSignIn(const SignInSettings& settings, SignInView& view,
                         std::string* failure = nullptr);

/// Body of the polling thread: asks for the token until it comes, a request fails, the
/// attempts run out or `cancelled` is set.
void PollToken(SignInState& state);
