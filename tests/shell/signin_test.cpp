// SPDX-License-Identifier: GPL-3.0-or-later
// /login and /logout through the real executable, with a fake GitHub and a fake CLI.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/credential_store.h"
#include "tests/support/fake_copilot.h"
#include "tests/support/fake_github.h"
#include "tests/support/pty_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::FakeCopilot;
using testing_support::FakeGitHub;
using testing_support::PtySession;
using testing_support::TessaryPath;

constexpr const char* kSignedIn = "\x1b[32m[AI] ";
constexpr const char* kSignedOut = "\x1b[31m[AI] ";
constexpr const char* kDialogTitle = "Copilot Authentication";

class SignInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessary-signin-XXXXXX").string();
    config_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(config_); }

  // The CLI counts as signed in exactly when it is given a token.
  PtySession::Options Options(const FakeCopilot& cli, const FakeGitHub& github) {
    PtySession::Options options = cli.Options();
    options.environment["XDG_CONFIG_HOME"] = config_.string();
    options.environment["TESSARY_GITHUB_URL"] = github.Url();
    options.environment["TESSARY_SIGNIN_POLL_MS"] = "20";
    return options;
  }
  fs::path CredentialFile() const { return config_ / "tessary" / "credentials"; }
  std::optional<platform::Credential> StoredToken() const {
    return platform::CredentialStore(CredentialFile()).Read("Tessary_AccessToken");
  }

  fs::path config_;
};

// The token the fake CLI's last start was given through --auth-token-env.
std::string TokenOfLastStart(const FakeCopilot& cli) {
  std::vector<nlohmann::json> starts = cli.Starts();
  if (starts.empty()) return "";
  std::vector<std::string> argv = starts.back()["argv"];
  for (size_t i = 0; i + 1 < argv.size(); ++i)
    if (argv[i] == "--auth-token-env") return starts.back()["environ"].value(argv[i + 1], "");
  return "";
}

TEST_F(SignInTest, LoginStoresTheTokenAndLogoutRemovesIt) {
  FakeCopilot cli(nlohmann::json{{"authenticated_with_token", true}});
  FakeGitHub github;
  {
    PtySession run({TessaryPath()}, Options(cli, github));
    ASSERT_TRUE(run.WaitFor(kSignedOut));
    run.Mark();
    run.Type("/login\r");
    ASSERT_TRUE(run.WaitFor(FakeGitHub::kUserCode));
    std::string dialog = run.OutputSinceMark();
    EXPECT_NE(dialog.find(kDialogTitle), std::string::npos);
    EXPECT_NE(dialog.find("GitHub Authentication Required"), std::string::npos);
    EXPECT_NE(dialog.find("\x1b]8;;https://github.com/login/device\x1b\\"), std::string::npos);
    run.Mark();
    github.Grant();  // nobody presses a key: the dialog must close by itself
    ASSERT_TRUE(run.WaitFor(kSignedIn));
    ASSERT_TRUE(StoredToken());
    EXPECT_EQ(StoredToken()->secret, "gho_FakeToken123");
    EXPECT_EQ(StoredToken()->user, "Tessary");
    struct stat info;
    ASSERT_EQ(stat(CredentialFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(cli.Starts().size(), 2u);
    EXPECT_EQ(TokenOfLastStart(cli), "gho_FakeToken123");
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
  {
    // The next run starts signed in from the stored token; /login then does nothing.
    PtySession run({TessaryPath()}, Options(cli, github));
    ASSERT_TRUE(run.WaitFor(kSignedIn));
    EXPECT_EQ(TokenOfLastStart(cli), "gho_FakeToken123");
    run.Mark();
    run.Type("/login\r");
    ASSERT_TRUE(run.WaitFor(kSignedIn));
    EXPECT_EQ(run.OutputSinceMark().find(kDialogTitle), std::string::npos);
    run.Mark();
    run.Type("/logout\r");
    ASSERT_TRUE(run.WaitFor(kSignedOut));
    EXPECT_FALSE(fs::exists(CredentialFile()));
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
  EXPECT_EQ(github.Requests().front().body, "client_id=TESSARY-NO-CLIENT-ID&");
}

TEST_F(SignInTest, AStoreOthersCouldHaveWrittenIsRefusedAloud) {
  const std::string planted = "tessary-credentials 1\nTessary_AccessToken\tTessary\tZ2hvX1BsYW50ZWQ=\n";
  fs::path elsewhere = config_ / "elsewhere";
  for (bool link : {true, false}) {
    SCOPED_TRACE(link ? "a link" : "a file anyone may write");
    fs::remove_all(CredentialFile().parent_path());
    fs::create_directories(CredentialFile().parent_path());
    if (link) {
      std::ofstream(elsewhere) << planted;
      fs::create_symlink(elsewhere, CredentialFile());
    } else {
      std::ofstream(CredentialFile()) << planted;
      chmod(CredentialFile().c_str(), 0666);
      chmod(CredentialFile().parent_path().c_str(), 0777);
    }
    FakeCopilot cli(nlohmann::json{{"authenticated_with_token", true}});
    FakeGitHub github;
    PtySession run({TessaryPath()}, Options(cli, github));
    ASSERT_TRUE(run.WaitFor("\x1b[31mThe stored sign-in token is not used: " +
                            (link ? CredentialFile().string() + " is a symbolic link"
                                  : CredentialFile().parent_path().string() +
                                        " may be written by others")));
    ASSERT_TRUE(run.WaitFor(kSignedOut));
    EXPECT_EQ(TokenOfLastStart(cli), "");
    run.Type("/login\r");
    EXPECT_TRUE(run.WaitFor("\x1b[31mThe sign-in token cannot be stored: "));
    run.Mark();
    run.Type("/logout\r");
    if (link) {
      // The link goes, the file it points at stays as it was: no token is left where
      // Tessary looks.
      EXPECT_TRUE(run.WaitFor(kSignedOut));
      EXPECT_EQ(run.OutputSinceMark().find("could not be removed"), std::string::npos);
    } else {
      EXPECT_TRUE(run.WaitFor("\x1b[31mThe stored token could not be removed: "));
    }
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_TRUE(github.Requests().empty());
    if (link) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(CredentialFile())));
      std::ifstream in(elsewhere);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), planted);
    }
  }
}

TEST_F(SignInTest, AFailingSignInServerIsNamed) {
  FakeCopilot cli(nlohmann::json{{"authenticated_with_token", true}});
  struct Case {
    const char* name;
    FakeGitHub::Script script;
    bool dead;
    const char* shown;
  } cases[] = {
      {"a dead server", {}, true, " could not be reached."},
      {"an answer that is not JSON", {.deviceAnswer = "<html>busy</html>"}, false,
       " did not answer in JSON (HTTP status 200)."},
      {"a token too long to keep", {.grantAfterPolls = 0, .token = std::string(5000, 't')}, false,
       "The sign-in token could not be stored: the token is longer than 4 KB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGitHub github(c.script);
    PtySession::Options options = Options(cli, github);
    if (c.dead) options.environment["TESSARY_GITHUB_URL"] = "http://127.0.0.1:1";
    PtySession run({TessaryPath()}, options);
    ASSERT_TRUE(run.WaitFor(kSignedOut));
    run.Type("/login\r");
    EXPECT_TRUE(run.WaitFor(c.shown));
    EXPECT_TRUE(run.WaitFor(kSignedOut));
    EXPECT_FALSE(fs::exists(CredentialFile()));
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
}

TEST_F(SignInTest, CancelKeepsNothingAndTheFlowCanRunAgain) {
  FakeCopilot cli(nlohmann::json{{"authenticated_with_token", true}});
  FakeGitHub github;
  PtySession run({TessaryPath()}, Options(cli, github));
  ASSERT_TRUE(run.WaitFor(kSignedOut));
  for (const char* cancel : {"q", "\x1b", "\x03"}) {
    run.Mark();
    run.Type("/login\r");
    ASSERT_TRUE(run.WaitFor(FakeGitHub::kUserCode)) << cancel;
    run.Mark();
    run.Type(cancel);
    ASSERT_TRUE(run.WaitFor(kSignedOut)) << cancel;
  }
  EXPECT_FALSE(fs::exists(CredentialFile()));
  EXPECT_EQ(cli.Starts().size(), 1u);
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(SignInTest, WithoutATerminalTheDialogOnlyPrintsAndWaitsForTheToken) {
  FakeCopilot cli(nlohmann::json{{"authenticated_with_token", true}});
  FakeGitHub github({.grantAfterPolls = 2});
  PtySession::Options options = Options(cli, github);
  options.stdinIsTerminal = false;
  PtySession run({TessaryPath()}, options);
  run.Type("/login\n");
  ASSERT_TRUE(run.WaitFor(FakeGitHub::kUserCode)) << run.Output();
  run.CloseInput();
  EXPECT_EQ(run.WaitForExit(), 0);
  ASSERT_TRUE(StoredToken());
  EXPECT_EQ(StoredToken()->secret, "gho_FakeToken123");
}

}  // namespace
