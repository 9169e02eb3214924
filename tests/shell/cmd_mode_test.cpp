// SPDX-License-Identifier: GPL-3.0-or-later
// cmd mode: lines run locally before anything reaches the model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "shell/cmd_mode.h"
#include "tests/support/fake_copilot.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

class CmdModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("tessary-cmd-" + std::to_string(getpid()));
    fs::create_directories(folder_ / "sub dir");
    std::ofstream(folder_ / "marker-file.txt") << "x";
    fake_ = std::make_unique<FakeCopilot>(json::object());
  }
  void TearDown() override {
    if (run_ && run_->Running()) {
      run_->Type("/exit\r");
      EXPECT_EQ(run_->WaitForExit(), 0) << ::testing::PrintToString(run_->OutputSinceMark());
    }
    fs::remove_all(folder_);
  }
  void Start(const char* mode) {
    PtySession::Options options = fake_->Options();
    options.workingDirectory = folder_.string();
    run_ = std::make_unique<PtySession>(std::vector<std::string>{TessaryPath(), "--mode", mode},
                                        options);
    ASSERT_TRUE(run_->WaitFor("\x1b[32m[AI] " + folder_.string() + ">"))
        << ::testing::PrintToString(run_->Output()) << " fake started "
        << fake_->Starts().size() << " times, received "
        << ::testing::PrintToString(nlohmann::json(fake_->Received()).dump());
    run_->Mark();
  }
  std::vector<json> Prompts() {
    std::vector<json> prompts;
    for (const json& r : fake_->Received())
      if (r.value("method", "") == "session.send") prompts.push_back(r["params"]["prompt"]);
    return prompts;
  }

  fs::path folder_;
  std::unique_ptr<FakeCopilot> fake_;
  std::unique_ptr<PtySession> run_;
};

TEST_F(CmdModeTest, FolderNamesMoveThePrompt) {
  Start("cmd");
  run_->Type("sub dir\r");
  EXPECT_TRUE(run_->WaitFor("[AI] " + (folder_ / "sub dir").string() + ">"));
  run_->Mark();
  run_->Type("..\r");
  EXPECT_TRUE(run_->WaitFor("[AI] " + folder_.string() + ">"));
  run_->Type("cd /tmp\r");
  EXPECT_TRUE(run_->WaitFor("[AI] /tmp>"));
  run_->Mark();
  run_->Type("dir -d /tmp\r");
  EXPECT_TRUE(run_->WaitFor("/tmp\n"));
  EXPECT_TRUE(Prompts().empty() || Prompts() == std::vector<json>{json(std::string(kCmdModePrompt))});
}

TEST_F(CmdModeTest, ProgramsRunAndSentencesGoToTheModel) {
  Start("cmd");
  run_->Type("ls -1\r");
  EXPECT_TRUE(run_->WaitFor("marker-file.txt"));
  run_->Type("please explain disk usage\r");
  EXPECT_TRUE(run_->WaitFor("Response 1 done"));
  EXPECT_EQ(Prompts(), (std::vector<json>{json(std::string(kCmdModePrompt)), json("please explain disk usage")}));
}

TEST_F(CmdModeTest, CtrlCStopsTheProgramNotTessary) {
  Start("cmd");
  run_->Type("sleep 30\r");
  std::this_thread::sleep_for(300ms);
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("[AI] " + folder_.string() + ">", 5s));
  EXPECT_TRUE(run_->Running());
}

TEST_F(CmdModeTest, DirRunsInEveryModeButFoldersOnlyInCmdMode) {
  Start("chat");
  run_->Type("dir\r");
  EXPECT_TRUE(run_->WaitFor("marker-file.txt"));
  run_->Type("sub dir\r");
  EXPECT_TRUE(run_->WaitFor("Response 1 done"));
  // Only the whole word counts: a sentence that merely begins with its letters is a prompt.
  run_->Type("directions to the station please\r");
  EXPECT_TRUE(run_->WaitFor("Response 2 done"));
  run_->Type("dir\tsub\r");
  EXPECT_TRUE(run_->WaitFor("No such file"));
  EXPECT_EQ(Prompts(), (std::vector<json>{"sub dir", "directions to the station please"}));
}

}  // namespace
