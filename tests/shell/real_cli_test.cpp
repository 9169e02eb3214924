// SPDX-License-Identifier: GPL-3.0-or-later
// tessary with the Copilot CLI it carries, offline.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "tests/support/pty_session.h"

namespace {

using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

TEST(RealCliShellTest, StartsTheEmbeddedCliAndReportsItsStatus) {
  PtySession::Options options;
  options.environment["TESSARY_COPILOT_CLI"] = "";  // the CLI inside the executable
  PtySession run({TessaryPath()}, options);
  ASSERT_TRUE(run.WaitFor("[AI] ", 2s));
  // Unpacking 190 MB on the suite's first start takes a few seconds.
  ASSERT_TRUE(run.WaitFor("\x1b[31m[AI] ", 60s));
  run.Mark();
  run.Type("/status\r");
  ASSERT_TRUE(run.WaitFor("[c] Close"));
  std::string status = run.OutputSinceMark();
  for (const char* line : {"Installed: Yes.", "Status: Connected.", "Authentication: Not Authenticated."})
    EXPECT_NE(status.find(line), std::string::npos) << line << ::testing::PrintToString(run.Output());
  EXPECT_EQ(status.find("Models\r\n"), std::string::npos);
  run.Type("c");
  run.Mark();
  run.Type("/models\r");
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(20s), 0);
  EXPECT_EQ(run.OutputSinceMark().find("[Copilot]"), std::string::npos);
  // The CLI unpacked into the test home went with tessary.
  std::string unpacked = testing_support::TestHome() + "/.local/share/tessary/";
  for (int i = 0; i < 50 && !testing_support::ProcessesRunning(unpacked).empty(); ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(testing_support::ProcessesRunning(unpacked).empty());
}

}  // namespace
