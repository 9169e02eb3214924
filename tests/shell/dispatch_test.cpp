// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dispatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "shell/session.h"

namespace {

namespace fs = std::filesystem;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_shared<CMDSESSION>();
    cmdSession.store(session_);
    copilot.store(nullptr);
    SetCopilotStatus({});
    home_ = fs::current_path();
  }
  void TearDown() override { fs::current_path(home_); }

  // Runs the line and returns its result and what it printed on standard output.
  std::pair<CommandResult, std::string> Run(const std::string& line) {
    ::testing::internal::CaptureStdout();
    CommandResult result = DispatchCommand(line);
    return {result, ::testing::internal::GetCapturedStdout()};
  }

  std::shared_ptr<CMDSESSION> session_;
  fs::path home_;
};

TEST_F(DispatchTest, ResultsAndOutputOfTheGeneralCommands) {
  struct Case {
    int32_t mode;
    const char* line;
    CommandResult result;
    const char* output;
  };
  const Case cases[] = {
      {kChatMode, "", NotACommand, ""},
      {kChatMode, "   ", NotACommand, ""},
      {kChatMode, "/HELP", NotACommand, ""},
      {kChatMode, "/exit ", NotACommand, ""},
      {kChatMode, "hello there", NotACommand, ""},
      {kChatMode, "cd /tmp", NotACommand, ""},
      {kChatMode, "/mode", Handled, ""},
      {kChatMode, "/mode cmd", NewConversation, "\x1b[32mMode: cmd.\x1b[0m\r\n"},
      {kCmdMode, "/mode chatty", NewConversation, "\x1b[32mMode: cmd.\x1b[0m\r\n"},
      {kChatMode, "/thinking", Handled, "\x1b[32mThinking Off.\x1b[0m\r\n"},
      {kChatMode, "/retries", Handled, ""},
      {kChatMode, "/retries -5", Handled, "\x1b[36mSet to -5.\x1b[0m\r\n"},
      {kChatMode, "/autocompile 1", Handled,
       "\x1b[31mThis command is only available in faust mode.\x1b[0m\r\n"},
      {kFaustMode, "/autocompile 7", Handled, "\x1b[36mSet to 2.\x1b[0m\r\n"},
      {kFaustMode, "/autocompile -1", Handled, "\x1b[36mSet to 2.\x1b[0m\r\n"},
      {kFaustMode, "/autocompile 0", Handled, "\x1b[36mSet to 0.\x1b[0m\r\n"},
      {kFaustMode, "/autocompile 1 2", Handled, "\x1b[36mSet to 2.\x1b[0m\r\n"},
      {kChatMode, "/vst list", Handled,
       "\x1b[31mThis command is only available in faust mode.\x1b[0m\r\n"},
      {kChatMode, "/skill", NotACommand, ""},
      {kChatMode, "/disabledskill", NotACommand, ""},
      {kChatMode, "/disabledskill web  search", NewConversation,
       "\x1b[35m Skill web search removed \x1b[0m\r\n"},
      {kChatMode, "/skill /no/such/folder", Handled,
       "\x1b[36mYou need to specify a directory.\x1b[0m\r\n"},
      {kChatMode, "/status", NotACommand, ""},
      {kChatMode, "/streaming", NotACommand, ""},
      {kChatMode, "cls", Handled, "\x1b[H\x1b[2J\x1b[3J"},
      {kChatMode, "/models", Handled, ""},
      {kChatMode, "/model 1", Handled, ""},
  };
  for (const Case& c : cases) {
    SetUp();
    session_->mode = c.mode;
    auto [result, output] = Run(c.line);
    EXPECT_EQ(result, c.result) << c.line;
    EXPECT_EQ(output, c.output) << c.line;
  }
}

TEST_F(DispatchTest, HelpInsideQuotesIsStillHelp) {
  auto [result, output] = Run("\"/help\" me");
  EXPECT_EQ(result, Handled);
  EXPECT_EQ(output.rfind("\x1b[36m/autocompile\x1b[0m\t\t\t set faust", 0), 0u);
  EXPECT_NE(output.find("VST related commands in faust mode\r\n\n"), std::string::npos);
}

TEST_F(DispatchTest, ModeChangesStreamingAndRetriesSetBoth) {
  Run("/mode faust");
  EXPECT_EQ(session_->mode, kFaustMode);
  EXPECT_FALSE(session_->options.streaming);
  Run("/mode chat");
  EXPECT_TRUE(session_->options.streaming);
  Run("/retries 5");
  EXPECT_EQ(session_->retries, 5);
  EXPECT_EQ(session_->retriesLeft, 5);
}

TEST_F(DispatchTest, CdWorksOnlyInCmdModeAndTakesQuotedFolders) {
  fs::path base = fs::temp_directory_path() / ("tessary-cd-" + std::to_string(getpid()));
  fs::create_directories(base / "with blank");
  session_->mode = kCmdMode;
  EXPECT_EQ(Run("cd \"" + (base / "with blank").string() + "\"").first, Handled);
  EXPECT_EQ(session_->folder, (base / "with blank").string());
  EXPECT_EQ(fs::current_path(), base / "with blank");
  EXPECT_EQ(Run("cd").first, HandledQuietly);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(DispatchCommand("cd /no/such/folder"), HandledQuietly);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\x1b[31mInvalid directory: /no/such/folder\x1b[0m\n");
  EXPECT_EQ(session_->folder, (base / "with blank").string());
  fs::current_path(home_);
  fs::remove_all(base);
}

TEST_F(DispatchTest, SkillFolderIsAddedWhenItExists) {
  std::string folder = fs::temp_directory_path().string();
  auto [result, output] = Run("/skill " + folder);
  EXPECT_EQ(result, NewConversation);
  EXPECT_EQ(output, "\x1b[35m Folder " + folder + " added \x1b[0m\r\n");
  EXPECT_EQ(session_->options.skillDirectories, std::vector<std::string>{folder});
}

TEST_F(DispatchTest, ModelsAreListedAndPickedByNumberOrName) {
  AccountStatus status;
  auto model = [](const char* id, const char* name, int price, bool ollama) {
    ModelInfo info;
    info.id = id;
    info.name = name;
    info.outputPrice = price;
    info.isOllama = ollama;
    return info;
  };
  status.models = {model("gpt-4.1", "GPT-4.1", 0, false), model("claude-x", "Claude X", 3, false),
                   model("llama3:8b", "llama3:8b", 0, true)};
  SetCopilotStatus(status);

  EXPECT_EQ(Run("/models").second,
            "\x1b[33m01. 0000\t[Copilot]\tGPT-4.1 [gpt-4.1] \x1b[0m\r\n"
            "\x1b[36m02. 0003\t[Copilot]\tClaude X [claude-x] \x1b[0m\r\n"
            "\x1b[36m03. 0000\t[Ollama]\tllama3:8b [llama3:8b] \x1b[0m\r\n");
  EXPECT_EQ(Run("/model 2"), std::make_pair(NewConversation,
                                            std::string("\x1b[32mActive model Claude X (Rate 3).\x1b[0m\r\n")));
  EXPECT_EQ(session_->model, "claude-x");
  EXPECT_EQ(Run("/model claude x").first, Handled);
  EXPECT_EQ(Run("/model 0"), std::make_pair(Handled, std::string()));
  EXPECT_EQ(Run("/model nothing"), std::make_pair(Handled, std::string()));
  EXPECT_EQ(session_->model, "claude-x");
}

TEST_F(DispatchTest, QuotaPrintsEverySnapshotInKeyOrder) {
  AccountStatus status;
  QuotaInfo& premium = status.quotas["premium_interactions"];
  premium.usedRequests = 12;
  premium.remainingPercentage = 75.5f;
  premium.overage = 300;
  QuotaInfo& chat = status.quotas["chat"];
  chat.usedRequests = 1;
  chat.remainingPercentage = 100.0f;
  chat.overageAllowedWithExhaustedQuota = true;
  SetCopilotStatus(status);
  EXPECT_EQ(Run("/quota").second,
            "\x1b[34mchat\x1b[0m\r\n  \x1b[33mUsed 1, Remaining 100.00%, Overage 0, Overage "
            "Allowed With Exhausted Quota 1\r\n\x1b[0m"
            "\x1b[34mpremium_interactions\x1b[0m\r\n  \x1b[33mUsed 12, Remaining 75.50%, Overage "
            "300, Overage Allowed With Exhausted Quota 0\r\n\x1b[0m");
}

}  // namespace
