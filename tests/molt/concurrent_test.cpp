// SPDX-License-Identifier: GPL-3.0-or-later
// Several installations update from one server at once (built under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "molt/molter.h"
#include "tests/molt/test_files.h"
#include "tools/molt/publish.h"
#include "tools/molt/update_server.h"

// The server's library is not built for ThreadSanitizer, which then cannot see how its
// worker threads hand work over; and glibc's tzset, which libzip calls for entry times,
// takes a lock ThreadSanitizer cannot see. Only those are ignored.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\nrace:tzset_internal\n";
}

namespace molt_test {
namespace {

TEST(ConcurrentUpdateTest, ClientsUpdatingAtOnceAllGetTheRelease) {
  TempFolder temp;
  const Molt::Bytes old = RandomBytes(300000, 1);
  Molt::Bytes changed = old;
  changed[150000] ^= 1;
  WriteFile(temp.path() / "release/tessary", changed);
  std::string error;
  ASSERT_TRUE(
      MoltTools::Publish(temp.path() / "release", temp.path() / "publish", nullptr, &error));
  std::atomic<int> lines{0};
  MoltTools::UpdateServer server(temp.path() / "publish", [&](const std::string&) { ++lines; });
  ASSERT_TRUE(server.Start(0));

  constexpr int kClients = 4;
  std::vector<std::int32_t> results(kClients, -100);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    const auto folder = temp.path() / ("install" + std::to_string(i));
    WriteFile(folder / "tessary", old);
    clients.emplace_back([&results, &server, folder, i] {
      Molt::Molter molter(folder, {}, server.Endpoint());
      results[i] = molter.Run(nullptr);
    });
  }
  for (std::thread& client : clients) client.join();
  server.Stop();
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(results[i], Molt::kUpdated);
    EXPECT_EQ(ReadFile(temp.path() / ("install" + std::to_string(i)) / "tessary"), changed);
  }
  EXPECT_EQ(lines.load(), 3 * kClients);
}

}  // namespace
}  // namespace molt_test
