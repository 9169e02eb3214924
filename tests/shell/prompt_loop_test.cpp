// SPDX-License-Identifier: GPL-3.0-or-later
// The prompt loop under a terminal: keys, leave lines and the start folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/pty_session.h"

namespace {

namespace fs = std::filesystem;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

class PromptLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("tessary-loop-" + std::to_string(getpid()));
    fs::create_directories(folder_ / "two words");
  }
  void TearDown() override { fs::remove_all(folder_); }

  PtySession::Options InFolder() {
    PtySession::Options options;
    options.workingDirectory = folder_.string();
    return options;
  }

  fs::path folder_;
};

TEST_F(PromptLoopTest, ExitEndsWithZeroButOnlyAsAWholeLine) {
  PtySession run({TessaryPath()}, InFolder());
  ASSERT_TRUE(run.WaitFor("[AI] " + folder_.string() + ">"));
  run.Mark();
  // Without a back-end the line reaches the prompt path, which refuses it.
  run.Type("/exit \r");
  EXPECT_TRUE(run.WaitFor("authenticated"));
  run.Mark();
  run.Type("/EXIT\r");
  EXPECT_TRUE(run.WaitFor("authenticated"));
  EXPECT_TRUE(run.Running());
  run.Type("/quit\r");
  EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(PromptLoopTest, CtrlCBeforeAnyAnswerAndCtrlDDoNothing) {
  PtySession run({TessaryPath()}, InFolder());
  ASSERT_TRUE(run.WaitFor("> "));
  run.Mark();
  run.Type("\x03");
  run.Type("\x04");
  std::string seen = run.Settle(500ms);
  EXPECT_TRUE(run.Running());
  EXPECT_EQ(seen.find("copied"), std::string::npos);
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(PromptLoopTest, InterruptOutsideAPromptEndsTheProgram) {
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    PtySession run({TessaryPath()}, InFolder());
    ASSERT_TRUE(run.WaitFor("> "));
    kill(run.Pid(), signo);
    EXPECT_EQ(run.WaitForExit(), 128 + signo);
  }
}

TEST_F(PromptLoopTest, CtrlVLeavesTheLineAlone) {
  PtySession run({TessaryPath()}, InFolder());
  ASSERT_TRUE(run.WaitFor("> "));
  run.Type("/mo\x16" "de cmd\r");
  EXPECT_TRUE(run.WaitFor("\x1b[32mMode: cmd.\x1b[0m"));
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(PromptLoopTest, StartFolderAppliesOnlyInCmdMode) {
  std::string inner = (folder_ / "two words").string();
  {
    PtySession run({TessaryPath(), "--folder", inner, "--mode", "cmd"}, InFolder());
    EXPECT_TRUE(run.WaitFor("[AI] " + inner + ">"));
    run.Type("cd ..\r");
    EXPECT_TRUE(run.WaitFor("[AI] " + folder_.string() + ">"));
    run.Type("cd \"two words\"\r");
    EXPECT_TRUE(run.WaitFor("[AI] " + inner + ">"));
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
  {
    PtySession run({TessaryPath(), "--folder", inner}, InFolder());
    EXPECT_TRUE(run.WaitFor("[AI] " + folder_.string() + ">"));
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
}

}  // namespace
