// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/fetch.h"

#include <gtest/gtest.h>

#include "test_server.h"

namespace Webwire {
namespace {

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    client_.agent = "REST";
  }
  void TearDown() override {
    client_ = rest_client();
    server_.Stop();
  }

  webwire_test::routed_server server_;
  rest_client client_;
};

TEST_F(FetchTest, PostsToAFullUrlAndReturnsStatusAndBody) {
  const reply answer = Fetch(client_, "POST", server_.url("/echo"), {"Accept: application/json"},
                             R"({"client_id":"x"})");
  EXPECT_EQ(answer.result, S_OK);
  EXPECT_EQ(answer.status, 201);
  EXPECT_EQ(answer.body, R"({"client_id":"x"})");
  const auto seen = server_.Last();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.headers.find("Accept")->second, "application/json");
}

TEST_F(FetchTest, GetsPathsAndFullUrlsWithHeadersOnOneConnection) {
  ASSERT_EQ(client_.Connect("127.0.0.1", false, static_cast<std::uint16_t>(server_.port())), S_OK);
  const reply first = Fetch(client_, "GET", "/port");
  const reply second = Fetch(client_, "GET", server_.url("/port"));
  EXPECT_EQ(first.result, S_OK);
  EXPECT_EQ(second.result, S_OK);
  EXPECT_EQ(first.body, second.body);

  const reply echoed = Fetch(client_, "GET", server_.url("/echo"), {"X-Extra: 1"});
  EXPECT_EQ(echoed.status, 201);
  EXPECT_EQ(server_.Last().headers.count("X-Extra"), 1u);
}

TEST_F(FetchTest, ReportsWhyNoAnswerCame) {
  const reply unreachable =
      Fetch(client_, "GET", "http://127.0.0.1:" + std::to_string(webwire_test::UnusedPort()) + "/");
  EXPECT_EQ(unreachable.result, E_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(unreachable.status, 0);
  EXPECT_TRUE(unreachable.body.empty());
  EXPECT_EQ(Fetch(client_, "GET", "http://").result, E_INTERNET_INVALID_URL);
}

}  // namespace
}  // namespace Webwire
