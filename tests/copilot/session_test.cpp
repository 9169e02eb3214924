// SPDX-License-Identifier: GPL-3.0-or-later
// Sessions and the life of a prompt, against the fake CLI.
#include <algorithm>
#include <thread>

#include "copilot/session_protocol.h"
#include "tests/copilot/client_fixture.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

json Delta(const char* type, const char* text) {
  return {{"event", type}, {"data", {{"deltaContent", text}}}};
}

class SessionTest : public ClientTest {
 protected:
  std::shared_ptr<COPILOT_SESSION> Open(const json& scenario) {
    client_ = Start(scenario);
    EXPECT_TRUE(client_->Connected());
    auto session = CreateSession(*client_, "gpt-4.1", nullptr);
    EXPECT_TRUE(session);
    return session;
  }
  std::vector<json> Sent(const std::string& method) {
    std::vector<json> found;
    for (const json& r : fake_->Received())
      if (r.value("method", "") == method) found.push_back(r);
    return found;
  }
  std::shared_ptr<COPILOT_RAW> client_;
};

TEST_F(SessionTest, StreamsReasoningThenContentAndCompletes) {
  json message = {{"event", "assistant.message"},
                  {"data", {{"content", "Hello"}, {"reasoningText", "think"}}}};
  auto session = Open({{"answers", json::array({json::array(
                                       {Delta("assistant.reasoning_delta", "think"),
                                        Delta("assistant.message_delta", "Hel"),
                                        Delta("assistant.message_delta", "lo"), message})})}});
  std::string seen;
  auto record = [&](const char* tag) {
    return [&seen, tag](std::string& text, uint64_t) { seen += tag + text; return 0; };
  };
  auto prompt = MakeMessage("hi", record("R:"), record("C:"), 0, nullptr);
  Send(*client_, session, prompt);
  ASSERT_EQ(Wait(*client_, session, prompt), 0);
  EXPECT_EQ(seen, "R:thinkC:HelC:lo");
  EXPECT_EQ(prompt->completed->content, "Hello");
  EXPECT_EQ(prompt->completed->reasoning, "think");
  EXPECT_TRUE(prompt->completed->error.empty());
  json params = Sent("session.create").at(0)["params"];
  EXPECT_EQ(params, json({{"model", "gpt-4.1"}, {"requestPermission", true},
                          {"envValueMode", "direct"}, {"streaming", true}}));
}

TEST_F(SessionTest, CreateSendsEveryOptionThatIsSet) {
  client_ = Start({});
  SessionOptions options;
  options.streaming = false;
  options.infiniteSessions = false;
  options.systemMessage = "sys";
  options.reasoningEffort = "high";
  options.skillDirectories = {"/skills"};
  options.disabledSkills = {"web"};
  ASSERT_TRUE(CreateSession(*client_, "gpt-4.1", &options));
  EXPECT_FALSE(CreateSession(*client_, "llama3", &options)) << "not a Copilot model";
  EXPECT_EQ(Sent("session.create").at(0)["params"],
            json({{"model", "gpt-4.1"}, {"infinite_sessions", {{"enabled", false}}},
                  {"requestPermission", true}, {"envValueMode", "direct"}, {"streaming", false},
                  {"system_message", "sys"}, {"reasoning_effort", "high"},
                  {"skill_directories", {"/skills"}}, {"disabled_skills", {"web"}}}));
}

TEST_F(SessionTest, AnErrorIsKeptAndTheSecondPromptWaitsForIdle) {
  auto session = Open(json::parse(R"({"answers": [
      [{"sleep": 0.4}, {"event": "session.error", "data": {"message": "boom"}}],
      [{"event": "assistant.message_delta", "data": {"deltaContent": "two"}}]]})"));
  auto first = MakeMessage("one", nullptr, nullptr, 0, nullptr);
  auto second = MakeMessage("two", nullptr, nullptr, 0, nullptr);
  Send(*client_, session, first);
  Send(*client_, session, second);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(Sent("session.send").size(), 1u) << "the second prompt went out before idle";
  ASSERT_EQ(Wait(*client_, session, first), 0);
  EXPECT_NE(first->completed->error.find("\"boom\""), std::string::npos);
  EXPECT_NE(first->completed->error.find("session.error"), std::string::npos);
  ASSERT_EQ(Wait(*client_, session, second), 0);
  EXPECT_EQ(Sent("session.send").size(), 2u);
}

TEST_F(SessionTest, AbortFinishesQueuedPromptsAtOnce) {
  // The queued prompt is still sent once the first one ends; the fake never answers it.
  json hold = json::array({json::object({{"hold", true}})});
  auto session = Open({{"answers", json::array({hold, hold})}});
  auto running = MakeMessage("long", nullptr, nullptr, 0, nullptr);
  auto queued = MakeMessage("next", nullptr, nullptr, 0, nullptr);
  Send(*client_, session, running);
  Send(*client_, session, queued);
  std::thread aborter([&] {
    std::this_thread::sleep_for(100ms);
    Abort(*client_, session);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(*client_, session, queued), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(queued->completed->content.empty());
  EXPECT_EQ(Wait(*client_, session, running), 0);
  aborter.join();
  EXPECT_EQ(Sent("session.abort").size(), 1u);
}

TEST_F(SessionTest, ANegativeCallbackResultAbortsOncePerResult) {
  auto session = Open({{"answers", json::array({json::array(
                                       {Delta("assistant.message_delta", "a"),
                                        Delta("assistant.message_delta", "b")})})}});
  auto message = MakeMessage("hi", nullptr, [](std::string&, uint64_t) { return -1; }, 0, nullptr);
  Send(*client_, session, message);
  ASSERT_EQ(Wait(*client_, session, message), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Sent("session.abort").size(), 2u);
}

TEST_F(SessionTest, PermissionsAndQuestionsAreAnsweredForTheUser) {
  json requested = {{"event", "permission.requested"}};
  auto permission = [&](json promptRequest, json permissionRequest) {
    json step = requested;
    step["data"] = {{"requestId", "r"}, {"promptRequest", promptRequest},
                    {"permissionRequest", permissionRequest}};
    return step;
  };
  json steps = json::array(
      {permission({{"kind", "commands"}, {"commandIdentifiers", {"ls"}}}, json::object()),
       permission({{"kind", "read"}}, {{"possiblePaths", {"/a"}}}),
       permission({{"kind", "write"}}, {{"possiblePaths", {"/b"}}}),
       permission({{"kind", "http"}}, {{"possibleUrls", {"http://x"}}}),
       permission({{"kind", "mcp"}}, json::object()),
       json::parse(R"({"request": {"method": "permission.request", "params": {}}})"),
       json::parse(R"({"request": {"method": "userInput.request", "params":
                      {"sessionId": "s", "question": "q?", "allowFreeform": false}}})"),
       json::parse(R"({"sleep": 0.2})")});
  auto session = Open({{"answers", json::array({steps})}});
  auto message = MakeMessage("go", nullptr, nullptr, 0, nullptr);
  Send(*client_, session, message);
  ASSERT_EQ(Wait(*client_, session, message), 0);
  std::vector<json> approvals;
  for (const json& r : Sent("session.permissions.handlePendingPermissionRequest"))
    approvals.push_back(r["params"]["result"]);
  ASSERT_EQ(approvals.size(), 5u);
  EXPECT_EQ(approvals[0], json({{"kind", "approve-once"},
                                {"approval", {{"kind", "commands"}, {"commandIdentifiers", {"ls"}}}}}));
  EXPECT_EQ(approvals[1]["approval"], json({{"kind", "read"}, {"paths", {"/a"}}}));
  EXPECT_EQ(approvals[2]["approval"], json({{"kind", "write"}, {"paths", {"/b"}}}));
  EXPECT_EQ(approvals[3]["approval"], json({{"kind", "http"}, {"urls", {"http://x"}}}));
  EXPECT_EQ(approvals[4]["approval"], json({{"kind", "mcp"}}));
  std::vector<json> replies;
  for (const json& r : fake_->Received())
    if (!r.contains("method")) replies.push_back(r);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0]["result"], json({{"result", {{"kind", "approved"}}}}));
  EXPECT_EQ(replies[1]["result"], json({{"answer", "No response"}, {"wasFreeform", true}}));
}

TEST_F(SessionTest, ADeltaForAnUnknownSessionStaysInTheInbox) {
  json stray = {{"jsonrpc", "2.0"}, {"method", "session.event"},
                {"params", {{"sessionId", "other"},
                            {"event", {{"type", "assistant.message_delta"},
                                       {"data", {{"deltaContent", "x"}}}}}}}};
  std::string body = stray.dump();
  json step = json::object({{"raw", "Content-Length: " + std::to_string(body.size()) +
                                        "\r\n\r\n" + body}});
  auto session = Open({{"answers", json::array({json::array({step})})}});
  std::string seen;
  auto message = MakeMessage("hi", nullptr, [&](std::string& t, uint64_t) { seen += t; return 0; }, 0, nullptr);
  Send(*client_, session, message);
  ASSERT_EQ(Wait(*client_, session, message), 0);
  EXPECT_TRUE(seen.empty());
  std::lock_guard queue(client_->queueLock);
  bool kept = false;
  for (const auto& entry : client_->inbox) kept = kept || entry.body.find("\"other\"") != std::string::npos;
  EXPECT_TRUE(kept);
}

TEST_F(SessionTest, ALostConnectionEndsThePromptInFlightAtOnce) {
  auto session = Open(json::parse(R"({"answers": [
      [{"event": "assistant.message_delta", "data": {"deltaContent": "par"}}, {"die": true}]]})"));
  std::string seen;
  auto message = MakeMessage("hi", nullptr, [&](std::string& t, uint64_t) { seen += t; return 0; }, 0, nullptr);
  auto queued = MakeMessage("later", nullptr, nullptr, 0, nullptr);
  Send(*client_, session, message);
  Send(*client_, session, queued);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(*client_, session, message), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(message->completed->error, kConnectionLost);
  EXPECT_EQ(seen, "par");
  EXPECT_EQ(Wait(*client_, session, queued), 0);
  EXPECT_FALSE(client_->Connected());
  EXPECT_TRUE(client_->Request({{"id", client_->NextId()}, {"method", "ping"}}, true).is_null());
}

TEST_F(SessionTest, NotificationsNobodyWaitsForAreKeptUpToABound) {
  // More stray notifications than the inbox keeps, in one burst, then a normal answer.
  std::string flood;
  const int strays = int(COPILOT_RAW::kInboxEntries) + 500;
  for (int i = 0; i < strays; ++i) {
    std::string body = json({{"jsonrpc", "2.0"}, {"method", "session.event"},
                             {"params", {{"sessionId", "other"},
                                         {"event", {{"type", "tool.progress"}, {"data", {{"n", i}}}}}}}})
                           .dump();
    flood += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  auto session = Open({{"answers", json::array({json::array({json::object({{"raw", flood}})})})}});
  auto message = MakeMessage("hi", nullptr, nullptr, 0, nullptr);
  Send(*client_, session, message);
  ASSERT_EQ(Wait(*client_, session, message), 0);
  // A request still finds its answer behind the flood.
  EXPECT_TRUE(client_->Request({{"jsonrpc", "2.0"}, {"id", client_->NextId()}, {"method", "ping"}}, true)
                  .is_object());
  std::lock_guard queue(client_->queueLock);
  ASSERT_LE(client_->inbox.size(), COPILOT_RAW::kInboxEntries);
  // The oldest went first.
  auto holds = [&](const std::string& part) {
    return std::any_of(client_->inbox.begin(), client_->inbox.end(),
                       [&](const auto& entry) { return entry.body.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(holds("\"n\":" + std::to_string(strays - 1) + "}"));
  EXPECT_FALSE(holds("\"n\":0}"));
}

// A frame whose body is exactly `body`: JSON text that nlohmann would refuse to build.
json Frame(const std::string& body) {
  json bytes = json::array();
  for (char c : body) bytes.push_back(static_cast<unsigned char>(c));
  return {{"frame", bytes}};
}

json DeltaFrame(const char* type, const std::string& escapedText) {
  return Frame(R"({"jsonrpc":"2.0","method":"session.event","params":{"sessionId":"$SESSION",)"
               R"("event":{"type":")" + std::string(type) + R"(","data":{"deltaContent":")" +
               escapedText + R"("}}}})");
}

TEST_F(SessionTest, BrokenPeerTextIsRepairedAndTheAnswerGoesOn) {
  auto content = [](const char* text) { return DeltaFrame("assistant.message_delta", text); };
  json message = {{"event", "assistant.message"}, {"data", {{"content", "done"}}}};
  auto session = Open({{"answers", json::array({json::array({
      DeltaFrame("assistant.reasoning_delta", "\\ud83e"), DeltaFrame("assistant.reasoning_delta", "\\udd14"),
      content("a\\ud83d"), content("\\ude00b"),    // a pair split between two pieces
      content("\\ude00c\\ud83d"), content("d"),    // halves without their partners
      content("e\xff\xc3(f"),                      // bytes that are not UTF-8
      content("\xf4\x8f\xbf\xbf\\udbff\\udfff"),   // the characters that stand in for halves
      message})})}});
  std::string seen;
  auto record = [&](const char* tag) {
    return [&seen, tag](std::string& text, uint64_t) { seen += tag + text; return 0; };
  };
  auto prompt = MakeMessage("hi", record("R:"), record("|"), 0, nullptr);
  Send(*client_, session, prompt);
  ASSERT_EQ(Wait(*client_, session, prompt), 0);
  EXPECT_EQ(seen, "R:\U0001F914|a|\U0001F600b|\uFFFDc|\uFFFDd|e\uFFFD\uFFFD(f|\uFFFD\uFFFD");
  EXPECT_EQ(prompt->completed->content, "done");
  EXPECT_TRUE(prompt->completed->error.empty());
  EXPECT_TRUE(client_->Connected());
}

}  // namespace
