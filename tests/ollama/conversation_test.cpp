// SPDX-License-Identifier: GPL-3.0-or-later
// Ollama models and conversations against the fake server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "copilot/session_protocol.h"
#include "ollama/ollama.h"
#include "tests/support/fake_ollama.h"

namespace {

using nlohmann::json;
using testing_support::FakeOllama;

class OllamaTest : public ::testing::Test {
 protected:
  void Serve(const json& scenario) {
    server_ = std::make_unique<FakeOllama>(scenario);
    setenv("OLLAMA_HOST", server_->Host().c_str(), 1);
  }
  void TearDown() override { unsetenv("OLLAMA_HOST"); }

  // One prompt through the conversation, as the prompt loop sends it.
  std::shared_ptr<PENDING_MESSAGE> Ask(const std::shared_ptr<COPILOT_SESSION>& session,
                                       const std::string& prompt, std::string* pieces = nullptr) {
    auto message = MakeMessage(prompt, nullptr,
                               [pieces](std::string& text, uint64_t) {
                                 if (pieces) *pieces += text;
                                 return 0;
                               },
                               0, nullptr);
    Send(*client_, session, message);
    EXPECT_EQ(Wait(*client_, session, message), 0);
    return message;
  }
  std::vector<json> Generated() {
    std::vector<json> bodies;
    for (const json& r : server_->Requests())
      if (r["path"] == "/api/generate") bodies.push_back(r["body"]);
    return bodies;
  }

  std::shared_ptr<COPILOT_RAW> client_ =
      std::make_shared<COPILOT_RAW>("", 0, "", 0);  // only its lock and signal are used
  std::unique_ptr<FakeOllama> server_;
};

const json kModels = json::parse(R"([{"model": "llama3:8b", "capabilities": ["completion"]},
                                     {"model": "llava\"q", "capabilities": ["completion", "vision"]}])");

TEST_F(OllamaTest, ListsModelsWithVisionAndEscapesTheirNames) {
  Serve({{"models", kModels}});
  std::vector<ModelInfo> models = OllamaModels();
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].id, "llama3:8b");
  EXPECT_EQ(models[0].name, "llama3:8b");
  EXPECT_FALSE(models[0].vision);
  EXPECT_TRUE(models[1].vision);
  EXPECT_TRUE(models[0].isOllama && models[1].isOllama);
  EXPECT_EQ(server_->Requests().back()["body"], "{\"model\":\"llava\\\"q\"}");
}

TEST_F(OllamaTest, NoServerOrNoJsonGivesNoModels) {
  setenv("OLLAMA_HOST", "127.0.0.1:1", 1);
  EXPECT_TRUE(OllamaModels().empty());
  EXPECT_FALSE(OpenOllamaConversation("llama3:8b", true, client_));
  Serve({{"tags_raw", "<html>not json</html>"}});
  EXPECT_TRUE(OllamaModels().empty());
}

TEST_F(OllamaTest, CarriesContextAndCountsRequests) {
  Serve({{"models", kModels},
         {"answers", json::parse(R"([{"response": "one", "context": [1, 2, 3]},
                                     {"response": "two", "context": [4]},
                                     {"response": "three"}])")}});
  auto session = OpenOllamaConversation("llama3:8b", true, client_);
  ASSERT_TRUE(session);
  std::string pieces;
  EXPECT_EQ(Ask(session, "first", &pieces)->completed->content, "one");
  EXPECT_EQ(pieces, "one");
  EXPECT_EQ(Ask(session, "say \"x\" \\ \n\x01 é")->completed->content, "two");
  Ask(session, "third");
  std::vector<json> bodies = Generated();
  ASSERT_EQ(bodies.size(), 3u);
  EXPECT_EQ(bodies[0], "{\"model\":\"llama3:8b\",\"prompt\":\"first\",\"id\":\"1\",\"stream\":false}");
  EXPECT_EQ(bodies[1], "{\"model\":\"llama3:8b\",\"prompt\":\"say \\\"x\\\" \\\\ \\n\\u0001 é\","
                       "\"id\":\"2\",\"context\":[1,2,3],\"stream\":false}");
  EXPECT_EQ(bodies[2], "{\"model\":\"llama3:8b\",\"prompt\":\"third\",\"id\":\"3\",\"context\":[4],"
                       "\"stream\":false}");
}

TEST_F(OllamaTest, ChunkedRepliesAreReassembled) {
  for (const char* framing : {"chunked", "split"}) {
    Serve({{"models", kModels}, {"framing", framing},
           {"answers", json::parse(R"([{"response": "whole text", "context": [9]}])")}});
    auto session = OpenOllamaConversation("llama3:8b", true, client_);
    ASSERT_TRUE(session) << framing;
    EXPECT_EQ(Ask(session, "hi")->completed->content, "whole text") << framing;
  }
}

TEST_F(OllamaTest, WithStreamingOffTheAnswerComesOnlyAsTheResult) {
  Serve({{"models", kModels}, {"answers", json::parse(R"([{"response": "quiet"}])")}});
  auto session = OpenOllamaConversation("llama3:8b", false, client_);
  std::string pieces;
  EXPECT_EQ(Ask(session, "hi", &pieces)->completed->content, "quiet");
  EXPECT_TRUE(pieces.empty());
}

TEST_F(OllamaTest, BrokenTextInAnAnswerIsRepairedNotFatal) {
  json bytes = json::array();
  for (char c : std::string("{\"response\":\"a\\ud83d\\ude00 \\ud83d b\xff\",\"done\":true}"))
    bytes.push_back(static_cast<unsigned char>(c));
  Serve({{"models", kModels}, {"answers", json::array({{{"bytes", bytes}}, {{"response", "next"}}})}});
  auto session = OpenOllamaConversation("llama3:8b", true, client_);
  auto repaired = Ask(session, "hi");
  EXPECT_EQ(repaired->completed->content, "a\U0001F600 \uFFFD b\uFFFD");
  EXPECT_TRUE(repaired->completed->error.empty());
  EXPECT_EQ(Ask(session, "again")->completed->content, "next");
}

TEST_F(OllamaTest, ABrokenReplyEndsThePromptWithAnError) {
  for (const char* broken : {R"([{"close": true}, {"response": "back"}])",
                             R"([{"garbage": true}, {"response": "back"}])"}) {
    Serve({{"models", kModels}, {"answers", json::parse(broken)}});
    auto session = OpenOllamaConversation("llama3:8b", true, client_);
    auto failed = Ask(session, "hi");
    EXPECT_FALSE(failed->completed->error.empty()) << broken;
    EXPECT_TRUE(failed->completed->content.empty()) << broken;
    // The conversation connects again for the next prompt.
    EXPECT_EQ(Ask(session, "again")->completed->content, "back") << broken;
  }
}

TEST_F(OllamaTest, UnknownModelsOpenNothing) {
  Serve({{"models", kModels}});
  EXPECT_FALSE(OpenOllamaConversation("llama3", true, client_));
}

}  // namespace
