// SPDX-License-Identifier: GPL-3.0-or-later
// Chat end to end: tessary on a pseudo-terminal, the fake CLI behind it.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "common/base64.h"
#include "shell/faust_prompt.h"
#include "tests/support/fake_copilot.h"
#include "tests/support/fake_ollama.h"

namespace {

using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

constexpr char kSignedIn[] = "\x1b[32m[AI] ";
constexpr char kSignedOut[] = "\x1b[31m[AI] ";

json Answer(const char* steps) { return json::parse(steps); }

class ChatTest : public ::testing::Test {
 protected:
  // Starts tessary on a fake CLI with these answers and waits for the signed-in prompt.
  void Start(json answers, json extra = json::object(), std::string ollamaHost = "") {
    json scenario = extra;
    scenario["answers"] = std::move(answers);
    fake_ = std::make_unique<FakeCopilot>(scenario);
    PtySession::Options options = fake_->Options();
    if (!ollamaHost.empty()) options.environment["OLLAMA_HOST"] = ollamaHost;
    run_ = std::make_unique<PtySession>(std::vector<std::string>{TessaryPath()}, options);
    ASSERT_TRUE(run_->WaitFor(scenario.value("authenticated", true) ? kSignedIn : kSignedOut))
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
  void TearDown() override {
    if (run_ && run_->Running()) {
      run_->Type("/exit\r");
      EXPECT_EQ(run_->WaitForExit(), 0) << ::testing::PrintToString(run_->OutputSinceMark());
    }
  }

  std::unique_ptr<FakeCopilot> fake_;
  std::unique_ptr<PtySession> run_;
};

TEST_F(ChatTest, AnswerStreamsInGreenAndCtrlCCopiesIt) {
  Start(Answer(R"([[{"event": "assistant.reasoning_delta", "data": {"deltaContent": "hmm"}},
                    {"event": "assistant.message_delta", "data": {"deltaContent": "Hel"}},
                    {"event": "assistant.message_delta", "data": {"deltaContent": "lo ✓"}},
                    {"event": "assistant.message", "data": {"content": "Hello ✓"}}]])"));
  run_->Type("hi there\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[36mResponse 1 done\x1b[0m\r\n"));
  EXPECT_NE(run_->OutputSinceMark().find("\x1b[38;5;8mhmm\x1b[0m\r\n\x1b[32mHel\x1b[0m\x1b[32mlo ✓\x1b[0m"
                                         "\r\n\x1b[36mResponse 1 done"),
            std::string::npos);
  EXPECT_EQ(Prompts(), std::vector<json>{"hi there"});

  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Mark();
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("\x1b]52;c;" + common::EncodeBase64("Hello ✓") + "\x07"));
  EXPECT_TRUE(run_->WaitFor("\x1b[32mResponse copied to clipboard.\x1b[0m"));
}

TEST_F(ChatTest, AnAnswerTooLargeForTheTerminalIsNotWrittenAsOsc52) {
  const std::string huge(200 * 1000, 'x');
  json step = {{"event", "assistant.message"}, {"data", {{"content", huge}}}};
  Start(json::array({json::array({step})}));
  run_->Type("/streaming\r");
  ASSERT_TRUE(run_->WaitFor("Streaming Off."));
  run_->Mark();
  run_->Type("hi\r");
  ASSERT_TRUE(run_->WaitFor("Response 1 done"));
  // The line editor is back (bracketed paste on again after the answer): Ctrl+C is its key.
  auto editorBack = [&] {
    const std::string out = run_->OutputSinceMark();
    return out.find("\x1b[?2004h", out.find("Response 1 done")) != std::string::npos;
  };
  for (int i = 0; i < 200 && !editorBack(); ++i) run_->Settle(std::chrono::milliseconds(50));
  ASSERT_TRUE(editorBack());
  run_->Mark();
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("\x1b[31mResponse of 200000 bytes "));
  EXPECT_EQ(run_->OutputSinceMark().find("\x1b]52;"), std::string::npos);
}

TEST_F(ChatTest, WithStreamingOffTheAnswerIsPrintedOnceAtTheEnd) {
  Start(Answer(R"([[{"event": "assistant.message_delta", "data": {"deltaContent": "piece"}},
                    {"event": "assistant.message", "data": {"content": "whole answer"}}]])"));
  run_->Type("/streaming\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[32mStreaming Off.\x1b[0m"));
  run_->Type("go\r");
  ASSERT_TRUE(run_->WaitFor("Response 1 done"));
  std::string out = run_->OutputSinceMark();
  EXPECT_EQ(out.find("piece"), std::string::npos);
  EXPECT_NE(out.find("\x1b[32mwhole answer\x1b[0m\r\n\x1b[36mResponse 1 done"), std::string::npos)
      << ::testing::PrintToString(out);
}

TEST_F(ChatTest, AnErrorIsShownInRedAndKeepsTheOldNumber) {
  Start(Answer(R"([[{"event": "session.error", "data": {"message": "quota gone"}}]])"));
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor("Response 0 done"));
  EXPECT_NE(run_->OutputSinceMark().find("\x1b[31m{\"jsonrpc\":\"2.0\",\"method\":\"session.event\""),
            std::string::npos);
  EXPECT_NE(run_->OutputSinceMark().find("quota gone"), std::string::npos);
}

TEST_F(ChatTest, FaustModeOpensAConversationWithTheFaustPrompt) {
  Start(json::array());
  run_->Type("/mode faust\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[32mMode: faust.\x1b[0m"));
  run_->Type("make a reverb\r");
  ASSERT_TRUE(run_->WaitFor("Response 1 done"));
  std::vector<json> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 2u);
  // The prompt names the folder the engine keeps its library link in.
  EXPECT_EQ(prompts[0], FaustPrompt(testing_support::TestHome() +
                                    "/.local/share/tessary/933bd016-0397-42c9-b3e0-eaa7900ef53e"));
  EXPECT_EQ(prompts[1], "make a reverb");
}

TEST_F(ChatTest, ACliThatDiesMidAnswerEndsThePromptAtOnce) {
  Start(Answer(R"([[{"event": "assistant.message_delta", "data": {"deltaContent": "par"}},
                    {"sleep": 0.2}, {"die": true}]])"));
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mThe connection to Copilot was lost.\x1b[0m", 15s));
  EXPECT_TRUE(run_->WaitFor("Response 0 done"));
  // The next prompt finds a new back-end (which plays the same script again).
  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Mark();
  run_->Type("again\r");
  EXPECT_TRUE(run_->WaitFor("Response 0 done", 15s));
  EXPECT_EQ(fake_->Starts().size(), 2u);
  EXPECT_EQ(Prompts().back(), "again");
}

TEST_F(ChatTest, CtrlCDuringAnAnswerAbortsIt) {
  Start(Answer(R"([[{"event": "assistant.message_delta", "data": {"deltaContent": "long"}},
                    {"hold": true}]])"));
  run_->Type("tell me everything\r");
  ASSERT_TRUE(run_->WaitFor("long"));
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("Response 0 done", 5s));
  EXPECT_TRUE(run_->Running());
  bool aborted = false;
  for (const json& r : fake_->Received()) aborted = aborted || r.value("method", "") == "session.abort";
  EXPECT_TRUE(aborted);
}

TEST_F(ChatTest, AfterAnAnswerTheFirstCtrlCIsOnlyConsumed) {
  Start(Answer(R"([[{"event": "assistant.message", "data": {"content": "first"}}],
                   [{"event": "assistant.message_delta", "data": {"deltaContent": "second"}},
                    {"hold": true}]])"));
  run_->Type("one\r");
  ASSERT_TRUE(run_->WaitFor("Response 1 done"));
  run_->Type("two\r");
  ASSERT_TRUE(run_->WaitFor("second"));
  auto aborts = [&] {
    int count = 0;
    for (const json& r : fake_->Received()) count += r.value("method", "") == "session.abort";
    return count;
  };
  run_->Type("\x03");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(aborts(), 0);
  EXPECT_TRUE(run_->Running());
  run_->Mark();
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("Response 1 done", 5s));
  EXPECT_EQ(aborts(), 1);
}

TEST_F(ChatTest, SignedOutRefusesPromptsAndListsNoModels) {
  Start(json::array(), {{"authenticated", false}, {"models_error", true}});
  run_->Type("/models\r");
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mNot authenticated, run /login\x1b[0m"));
  EXPECT_EQ(run_->OutputSinceMark().find("[Copilot]"), std::string::npos);
  EXPECT_TRUE(Prompts().empty());
}

TEST_F(ChatTest, ACliThatCannotBeUsedSaysWhyInRed) {
  Start(json::array(), {{"create_error", {{"code", -32602}, {"message", "Model gpt-4.1 is not available"}}}});
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor(
      "\x1b[31mCopilot could not open a conversation: Model gpt-4.1 is not available\x1b[0m"));
  TearDown();
  // A sign-in status of the wrong shape is no reason to ask for /login.
  fake_ = std::make_unique<FakeCopilot>(json{{"auth_result", {{"isAuthenticated", "yes"}}}});
  run_ = std::make_unique<PtySession>(std::vector<std::string>{TessaryPath()}, fake_->Options());
  ASSERT_TRUE(run_->WaitFor(kSignedOut));
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mCopilot's sign-in status could not be read.\x1b[0m"));
  EXPECT_EQ(run_->Output().find("run /login"), std::string::npos);
}

TEST_F(ChatTest, QClosesTheStatusDialogAndThePromptAfterItIsKept) {
  Start(json::array());
  run_->Type("/status\r");
  ASSERT_TRUE(run_->WaitFor("[c] Close"));
  run_->Type("q");
  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Type("hello\r");
  ASSERT_TRUE(run_->WaitFor("Response 1 done"));
  EXPECT_EQ(Prompts(), std::vector<json>{"hello"});
}

TEST_F(ChatTest, ModelsComeFromTheCli) {
  Start(json::array(), {{"models", {{"models", {{{"id", "gpt-4.1"}, {"name", "GPT-4.1"}},
                                                {{"id", "o9"}, {"name", "O Nine"},
                                                 {"billing", {{"tokenPrices", {{"outputPrice", 12}}}}}}}}}}});
  run_->Type("/models\r");
  EXPECT_TRUE(run_->WaitFor("\x1b[33m01. 0000\t[Copilot]\tGPT-4.1 [gpt-4.1] \x1b[0m\r\n"
                            "\x1b[36m02. 0012\t[Copilot]\tO Nine [o9] \x1b[0m\r\n"))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/model 2\r");
  EXPECT_TRUE(run_->WaitFor("\x1b[32mActive model O Nine (Rate 12).\x1b[0m"));
}

TEST_F(ChatTest, ExitDoesNotWaitForACliThatNeverAnswers) {
  FakeCopilot mute(json::object({{"mute", true}}));
  PtySession run({TessaryPath()}, mute.Options());
  ASSERT_TRUE(run.WaitFor("[AI] "));
  // Give the back-end time to connect and hang in its handshake.
  for (int i = 0; i < 50 && mute.Received().empty(); ++i) std::this_thread::sleep_for(20ms);
  ASSERT_FALSE(mute.Received().empty());
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(5s), 0);
}

TEST_F(ChatTest, OllamaModelsFollowTheCopilotOnesAndAnswerPrompts) {
  testing_support::FakeOllama ollama(json::parse(R"({
      "models": [{"model": "llama3:8b", "capabilities": ["completion"]}],
      "answers": [{"response": "local one", "context": [7, 8]}, {"response": "local two"}]})"));
  Start(json::array(), json::object(), ollama.Host());
  run_->Type("/models\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[33m01. 0000\t[Copilot]\tGPT-4.1 [gpt-4.1] \x1b[0m\r\n"
                            "\x1b[36m02. 0000\t[Ollama]\tllama3:8b [llama3:8b] \x1b[0m\r\n"));
  run_->Type("/model 2\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[32mActive model llama3:8b (Rate 0).\x1b[0m"));
  run_->Type("hello local\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[32mlocal one\x1b[0m\r\n\x1b[36mResponse 1 done"));
  run_->Type("and again\r");
  ASSERT_TRUE(run_->WaitFor("Response 2 done"));
  std::vector<json> bodies;
  for (const json& r : ollama.Requests())
    if (r["path"] == "/api/generate") bodies.push_back(json::parse(r["body"].get<std::string>()));
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[1]["context"], json::parse("[7,8]"));
  EXPECT_TRUE(Prompts().empty()) << "nothing went to Copilot";
}

}  // namespace
