// SPDX-License-Identifier: GPL-3.0-or-later
// The client against the fake CLI: launch, environment, framing and the end of a connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <set>
#include <thread>

#include "copilot/account.h"
#include "tests/copilot/client_fixture.h"

extern char** environ;

namespace {

using nlohmann::json;

int Listen(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 1) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(FindFreePortTest, SkipsEveryPortInUse) {
  // Two neighbouring ports this test holds; other tests come and go on the machine meanwhile.
  int first = 41000, a = -1, b = -1;
  for (int tries = 0; tries < 50 && b < 0; ++tries) {
    first = FindFreePort(first);
    a = Listen(first);
    b = a >= 0 ? Listen(first + 1) : -1;
    if (b < 0) {
      if (a >= 0) close(a);
      first += 2;
    }
  }
  ASSERT_GE(b, 0);
  EXPECT_GE(FindFreePort(first), first + 2);
  EXPECT_EQ(FindFreePort(first), FindFreePort(first + 2));
  close(a);
  close(b);
}

TEST_F(ClientTest, TokenTravelsInAFreshVariableNeverOnTheCommandLine) {
  auto client = Start({}, "gho_secret");
  ASSERT_TRUE(client->Connected());
  auto starts = fake_->Starts();
  ASSERT_EQ(starts.size(), 1u);
  std::vector<std::string> argv = starts[0]["argv"];
  ASSERT_GE(argv.size(), 3u);
  EXPECT_EQ(argv[0], "--no-auto-update");
  EXPECT_EQ(argv[1], "--auth-token-env");
  std::string name = argv[2];
  EXPECT_TRUE(std::regex_match(name, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")));
  EXPECT_EQ(std::vector<std::string>(argv.begin() + 3, argv.end()),
            (std::vector<std::string>{"--acp", "--port", std::to_string(client->port), "--log-level",
                                      "info", "--headless"}));
  for (const std::string& arg : argv) EXPECT_EQ(arg.find("gho_secret"), std::string::npos);

  // The child's environment is ours plus the token variable and the connection secret.
  json childEnvironment = starts[0]["environ"];
  EXPECT_EQ(childEnvironment[name], "gho_secret");
  EXPECT_EQ(childEnvironment["COPILOT_CONNECTION_TOKEN"].get<std::string>().size(), 64u);
  std::set<std::string> added;
  for (const auto& [key, value] : childEnvironment.items()) added.insert(key);
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string key = entry.substr(0, entry.find('='));
    EXPECT_EQ(childEnvironment.value(key, ""), entry.substr(key.size() + 1)) << key;
    added.erase(key);
  }
  added.erase("LC_CTYPE");  // Python's own locale coercion in the fake
  EXPECT_EQ(added, (std::set<std::string>{name, "COPILOT_CONNECTION_TOKEN"}));

  auto second = Start({}, "gho_secret");
  EXPECT_NE(fake_->Starts()[0]["argv"][2], name);
}

TEST_F(ClientTest, WithoutATokenTheCommandLineHasNoTokenVariable) {
  auto client = Start({});
  std::vector<std::string> argv = fake_->Starts().at(0)["argv"];
  EXPECT_EQ(argv, (std::vector<std::string>{"--no-auto-update", "--acp", "--port",
                                            std::to_string(client->port), "--log-level", "info",
                                            "--headless"}));
  EXPECT_EQ(LaunchArguments("/x/copilot", "", 0, 100),
            (std::vector<std::string>{"/x/copilot", "--no-auto-update", "--log-level", "all"}));
  EXPECT_EQ(LaunchArguments("/x/copilot", "N", 0, 100),
            (std::vector<std::string>{"/x/copilot", "--no-auto-update", "--auth-token-env", "N",
                                      "--log-level", "all"}));
}

TEST_F(ClientTest, TheFirstRequestIsTheConnectionHandshake) {
  auto client = Start({});
  ASSERT_TRUE(client->Connected());
  AccountStatus status = GetStatus(*client);
  EXPECT_TRUE(status.isAuthenticated);
  auto received = fake_->Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0]["method"], "connect");
  EXPECT_EQ(received[0]["id"], "1");
  EXPECT_EQ(received[1]["id"], "2");
  EXPECT_EQ(received[1]["method"], "auth.getStatus");
}

TEST_F(ClientTest, SplitFramesAndNoiseBeforeHeadersStillMatchAnswers) {
  auto client = Start({{"split_frames", true}, {"prefix", "junk\r\n"},
                       {"quota", {{"quotaSnapshots", {{"chat", {{"entitlementRequests", 1},
                                                                {"overage", 0},
                                                                {"usedRequests", 1},
                                                                {"remainingPercentage", 50.0},
                                                                {"overageAllowedWithExhaustedQuota", false},
                                                                {"resetDate", "2027-01-01"}}}}}}}});
  ASSERT_TRUE(client->Connected());
  AccountStatus status = GetStatus(*client);
  EXPECT_TRUE(status.isAuthenticated);
  ASSERT_EQ(status.models.size(), 1u);
  EXPECT_EQ(status.models[0].id, "gpt-4.1");
  ASSERT_EQ(status.quotas.size(), 1u);  // "completions" is missing, so the reading stops there
  EXPECT_EQ(status.quotas["chat"].resetDate, "2027-01-01");
}

TEST_F(ClientTest, NumbersBeyondTheIntRangeAreClamped) {
  json huge = {{"entitlementRequests", 1e300}, {"overage", -1e300}, {"usedRequests", 1e300},
               {"remainingPercentage", 1e300}, {"overageAllowedWithExhaustedQuota", false},
               {"resetDate", "2027-01-01"}};
  json models = {{"models", {{{"id", "big"}, {"name", "Big"},
                              {"billing", {{"tokenPrices", {{"outputPrice", 1e300},
                                                            {"inputPrice", -1e300}}}}}}}}};
  auto client = Start({{"models", models}, {"quota", {{"quotaSnapshots", {{"chat", huge}}}}}});
  ASSERT_TRUE(client->Connected());
  AccountStatus status = GetStatus(*client);
  ASSERT_EQ(status.models.size(), 1u);
  EXPECT_EQ(status.models[0].outputPrice, 2147483647);
  EXPECT_EQ(status.models[0].inputPrice, -2147483647 - 1);
  ASSERT_EQ(status.quotas.size(), 1u);
  EXPECT_EQ(status.quotas["chat"].usedRequests, 2147483647);
  EXPECT_EQ(status.quotas["chat"].overage, -2147483647 - 1);
}

TEST_F(ClientTest, AnAnswerMatchesOnlyTheSameIdText) {
  auto client = Start({{"numeric_ids", true}});
  ASSERT_TRUE(client->Connected());
  // Answered with the number 5, a request with the id "5" keeps waiting, until the client
  // is closed, which returns it empty at once.
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client->Close();
  });
  json answer = client->Request({{"jsonrpc", "2.0"}, {"id", "5"}, {"method", "ping"}}, true);
  closer.join();
  EXPECT_TRUE(answer.is_null()) << answer;
  EXPECT_TRUE(client->Request({{"jsonrpc", "2.0"}, {"id", "6"}, {"method", "auth.getStatus"}}, true)
                  .is_null());
}

TEST_F(ClientTest, ACliThatIsNotThereLeavesTheClientUnconnected) {
  auto start = std::chrono::steady_clock::now();
  COPILOT_RAW client("/nonexistent/copilot", uint32_t(FindFreePort(3000)), "", 0);
  EXPECT_FALSE(client.Connected());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(client.Request({{"id", client.NextId()}, {"method", "ping"}}, true).is_null());
  EXPECT_FALSE(GetStatus(client).installed);
}

}  // namespace
