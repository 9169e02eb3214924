// SPDX-License-Identifier: GPL-3.0-or-later
// The command line and the banner, run against the real executable.
#include <gtest/gtest.h>

#include "tests/support/pty_session.h"

namespace {

using testing_support::PtySession;
using testing_support::TessaryPath;

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(StartupTest, HelpIsPrintedOnceAndExitsZero) {
  PtySession run({TessaryPath(), "--help"});
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_EQ(CountOf(run.Output(), "Usage:"), 1);
  EXPECT_NE(run.Output().find("Tessary Chat"), std::string::npos);
  EXPECT_NE(run.Output().find("-h,--help                   Print this help message and exit"),
            std::string::npos);
}

TEST(StartupTest, ModeValuesMustMatchExactly) {
  for (const char* bad : {"faust2", "Chat"}) {
    PtySession run({TessaryPath(), "--mode", bad});
    std::optional<int> code = run.WaitForExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0) << bad;
    EXPECT_EQ(CountOf(run.Output(), "Usage:"), 1) << bad;
    EXPECT_NE(run.Output().find("Mode must be chat, cmd or faust"), std::string::npos) << bad;
  }
}

TEST(StartupTest, UnknownOptionShowsHelpThenTheError) {
  PtySession run({TessaryPath(), "--colour"});
  std::optional<int> code = run.WaitForExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_NE(*code, 0);
  size_t help = run.Output().find("Usage:");
  size_t error = run.Output().find("--colour");
  EXPECT_NE(help, std::string::npos);
  EXPECT_GT(error, help);
}

TEST(StartupTest, PipedCommandsRunAndEndAtEndOfInput) {
  PtySession::Options options;
  options.stdinIsTerminal = false;
  PtySession run({TessaryPath(), "--mode", "cmd"}, options);
  run.Type("/help\n/mode chat\n");
  run.CloseInput();
  EXPECT_EQ(run.WaitForExit(), 0);
  const std::string& out = run.Output();
  EXPECT_NE(out.find("Tessary Ready. Mode: \x1b[32mcmd\x1b[0m. Change mode with "
                     "\x1b[31m/mode chat|cmd|faust\x1b[0m."),
            std::string::npos);
  EXPECT_NE(out.find("\x1b[36m/vst\x1b[0m\t\t\t\t VST related commands in faust mode"),
            std::string::npos);
  EXPECT_NE(out.find("\x1b[32mMode: chat.\x1b[0m"), std::string::npos);
}

}  // namespace
