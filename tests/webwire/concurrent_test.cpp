// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in polls on a thread of its own while the prompt loop queries Ollama: clients on
// different threads, each its own, share nothing but libcurl's one-time set-up.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "test_server.h"
#include "webwire/fetch.h"

// The test server's library is not built for ThreadSanitizer, which then cannot see how
// its worker threads hand work over and reports races inside it. Only its own are ignored.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\n";
}

namespace Webwire {
namespace {

TEST(ConcurrentClientsTest, ClientsOnSeveralThreadsWorkIndependently) {
  webwire_test::routed_server server;
  ASSERT_TRUE(server.Start());
  constexpr int kThreads = 3;
  constexpr int kRequests = 10;
  std::vector<int> good(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      rest_client client;
      client.agent = "REST";
      for (int i = 0; i < kRequests; ++i) {
        const std::string body = "thread " + std::to_string(t) + " request " + std::to_string(i);
        const reply answer = Fetch(client, "POST", server.url("/echo"), {}, body);
        if (answer.result == S_OK && answer.status == 201 && answer.body == body) ++good[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[t], kRequests) << "thread " << t;
}

}  // namespace
}  // namespace Webwire
