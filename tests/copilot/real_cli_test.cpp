// SPDX-License-Identifier: GPL-3.0-or-later
// The client against the real Copilot CLI, which answers offline without an account.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "copilot/account.h"
#include "copilot/session_protocol.h"

namespace {

class RealCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(REAL_COPILOT_CLI, X_OK) != 0) GTEST_SKIP() << "no Copilot CLI at " REAL_COPILOT_CLI;
    // One home for every run of the suite: the CLI unpacks itself there once.
    setenv("HOME", TEST_HOME, 1);
  }
};

TEST_F(RealCliTest, AnswersAccountQueriesAndRunsASessionOffline) {
  int first = 20000 + int(getpid() % 2000) * 10;  // clear of the ports parallel tests take
  auto client = std::make_shared<COPILOT_RAW>(REAL_COPILOT_CLI, uint32_t(FindFreePort(first)), "", 0);
  ASSERT_TRUE(client->Connected());
  AccountStatus status = GetStatus(*client);
  EXPECT_TRUE(status.installed);
  EXPECT_FALSE(status.isAuthenticated);
  EXPECT_TRUE(status.models.empty());
  EXPECT_TRUE(status.quotas.empty());

  // models.list fails offline, so the session is made by hand as CreateSession would.
  nlohmann::json created = client->Request(
      {{"jsonrpc", "2.0"}, {"id", client->NextId()}, {"method", "session.create"},
       {"params", {{"model", "gpt-4.1"}, {"requestPermission", true}, {"envValueMode", "direct"},
                   {"streaming", true}}}},
      true);
  ASSERT_TRUE(created.contains("result")) << created.dump();
  auto session = std::make_shared<COPILOT_SESSION>();
  session->sessionId = created["result"]["sessionId"];
  {
    std::lock_guard queue(client->queueLock);
    client->sessions.push_back(session);
  }
  EXPECT_TRUE(ApproveAll(*client, session).contains("result"));
  auto message = MakeMessage("hello", nullptr, nullptr, 0, nullptr);
  Send(*client, session, message);
  ASSERT_EQ(Wait(*client, session, message), 0);
  EXPECT_NE(message->completed->error.find("session.error"), std::string::npos);
  EXPECT_TRUE(DeleteSession(*client, session).contains("result"));
  EXPECT_TRUE(session->sessionId.empty());
}

}  // namespace
