// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/device_signin.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <thread>

#include "tests/support/fake_github.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FakeGitHub;

/// Plays the user: `press` decides what WaitForButton returns, and what the device flow asked
/// the dialog to do is recorded.
class ScriptedView : public SignInView {
 public:
  bool interactive = true;
  std::function<SignInButton()> press = [] { return SignInButton::None; };

  int shown = 0;
  std::string shownUri, shownCode;
  std::vector<std::string> copied, opened;

  bool Show(const std::string& uri, const std::string& code) override {
    ++shown;
    shownUri = uri;
    shownCode = code;
    return interactive;
  }
  SignInButton WaitForButton(std::chrono::milliseconds timeout) override {
    SignInButton button = press();
    if (button == SignInButton::None) std::this_thread::sleep_for(std::min(timeout, 20ms));
    return button;
  }
  void CopyCode(const std::string& code) override { copied.push_back(code); }
  void OpenAddress(const std::string& uri) override { opened.push_back(uri); }
};

class DeviceSignInTest : public ::testing::Test {
 protected:
  SignInSettings Settings(const FakeGitHub& github, std::chrono::milliseconds interval = 5ms) {
    SignInSettings settings;
    settings.webHost = github.Url();
    settings.clientId = "Ov23liTestClient0001";
    settings.pollInterval = interval;
    return settings;
  }
  ScriptedView view;
};

TEST_F(DeviceSignInTest, PendingAnswersThenTheTokenWithoutATerminal) {
  FakeGitHub github({.grantAfterPolls = 2});
  view.interactive = false;
  EXPECT_EQ(DeviceSignIn(Settings(github), view), "gho_FakeToken123");
  EXPECT_EQ(view.shown, 1);
  EXPECT_EQ(view.shownUri, FakeGitHub::kVerificationUri);
  EXPECT_EQ(view.shownCode, FakeGitHub::kUserCode);

  std::vector<FakeGitHub::Request> requests = github.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].path, "/login/device/code");
  EXPECT_EQ(requests[0].body, "client_id=Ov23liTestClient0001&");
  for (const FakeGitHub::Request& request : requests) {
    EXPECT_EQ(request.accept, "application/json");
    EXPECT_EQ(request.userAgent, "REST");
    EXPECT_FALSE(request.hasContentType);
  }
  for (size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].path, "/login/oauth/access_token");
    EXPECT_EQ(requests[i].body,
              "client_id=Ov23liTestClient0001&device_code=" + std::string(FakeGitHub::kDeviceCode) +
                  "&grant_type=urn:ietf:params:oauth:grant-type:device_code");
  }
}

TEST_F(DeviceSignInTest, ButtonsKeepTheDialogOpenAndTheTokenClosesIt) {
  FakeGitHub github;
  int calls = 0;
  view.press = [&] {
    switch (++calls) {
      case 1:
        return SignInButton::CopyCode;
      case 2:
        return SignInButton::OpenAddress;
      case 3:
        github.Grant();
        return SignInButton::None;
      default:
        return SignInButton::None;  // nobody presses Cancel
    }
  };
  EXPECT_EQ(DeviceSignIn(Settings(github), view), "gho_FakeToken123");
  EXPECT_EQ(view.copied, std::vector<std::string>{FakeGitHub::kUserCode});
  EXPECT_EQ(view.opened, std::vector<std::string>{FakeGitHub::kVerificationUri});
}

TEST_F(DeviceSignInTest, AnUnusableDeviceAnswerShowsNoDialog) {
  const char* answers[] = {
      "<html>Not Found</html>",
      "[1, 2]",
      R"({"error": "unauthorized_client"})",
      R"({"device_code": "d", "user_code": "u"})",
      R"({"device_code": 7, "user_code": "u", "verification_uri": "https://x"})",
      R"({"device_code": "d", "user_code": null, "verification_uri": "https://x"})",
      R"({"device_code": "d", "user_code": "u", "verification_uri": ["https://x"]})",
  };
  for (const char* answer : answers) {
    FakeGitHub github({.deviceAnswer = answer});
    ScriptedView fresh;
    EXPECT_EQ(DeviceSignIn(Settings(github), fresh), "") << answer;
    EXPECT_EQ(fresh.shown, 0) << answer;
    EXPECT_EQ(github.TokenRequests(), 0) << answer;
  }
}

TEST_F(DeviceSignInTest, NoServerMeansNoDialog) {
  SignInSettings settings;
  {
    FakeGitHub gone;
    settings = Settings(gone);
  }
  EXPECT_EQ(DeviceSignIn(settings, view), "");
  EXPECT_EQ(view.shown, 0);
}

TEST_F(DeviceSignInTest, AFailedPollClosesTheDialogWithoutAToken) {
  struct Case {
    const char* name;
    FakeGitHub::Script script;
  };
  Case cases[] = {
      {"not JSON", {.grantAfterPolls = 1, .tokenAnswer = "<html>oops</html>"}},
      {"error page", {.grantAfterPolls = 0, .tokenAnswer = "Bad Gateway", .pollStatus = 502}},
      {"token not a string", {.grantAfterPolls = 1, .tokenAnswer = R"({"access_token": 42})"}},
      {"token too short", {.grantAfterPolls = 0, .token = "ab"}},
      {"empty token", {.grantAfterPolls = 0, .token = ""}},
  };
  for (Case& c : cases) {
    FakeGitHub github(c.script);
    ScriptedView fresh;  // never presses anything: only the poller's end can close it
    EXPECT_EQ(DeviceSignIn(Settings(github), fresh), "") << c.name;
    EXPECT_EQ(fresh.shown, 1) << c.name;
  }
}

TEST_F(DeviceSignInTest, CancelDuringThePauseReturnsWithoutWaitingItOut) {
  FakeGitHub github;
  view.press = [&] {
    return github.TokenRequests() >= 1 ? SignInButton::Cancel : SignInButton::None;
  };
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DeviceSignIn(Settings(github, 600s), view), "");
  // A sleeping poller would hold the sign-in for the whole ten-minute pause.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  EXPECT_EQ(github.TokenRequests(), 1);
}

TEST_F(DeviceSignInTest, PollingStopsAfterOneHundredAttempts) {
  FakeGitHub github;  // never grants
  view.interactive = false;
  EXPECT_EQ(DeviceSignIn(Settings(github, 1ms), view), "");
  EXPECT_EQ(github.TokenRequests(), 100);
}

TEST(SignInSettingsTest, TheEnvironmentNamesHostAndInterval) {
  struct Case {
    const char* url;
    const char* interval;
    std::string host;
    std::chrono::milliseconds pause;
  };
  Case cases[] = {
      {nullptr, nullptr, "https://github.com", 8000ms},
      {"http://127.0.0.1:4567/", "25", "http://127.0.0.1:4567", 25ms},
      {"https://ghe.example.com", "0", "https://ghe.example.com", 8000ms},
      {"", "fast", "https://github.com", 8000ms},
  };
  for (const Case& c : cases) {
    c.url ? setenv("TESSARY_GITHUB_URL", c.url, 1) : unsetenv("TESSARY_GITHUB_URL");
    c.interval ? setenv("TESSARY_SIGNIN_POLL_MS", c.interval, 1)
               : unsetenv("TESSARY_SIGNIN_POLL_MS");
    SignInSettings settings = SignInSettingsFromEnvironment("id");
    EXPECT_EQ(settings.webHost, c.host);
    EXPECT_EQ(settings.pollInterval, c.pause);
    EXPECT_EQ(settings.clientId, "id");
    EXPECT_EQ(settings.maxPolls, 100);
  }
  unsetenv("TESSARY_GITHUB_URL");
  unsetenv("TESSARY_SIGNIN_POLL_MS");
}

}  // namespace
