// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/molt/update_fixture.h"

#include <sstream>

#include "tools/molt/publish.h"

namespace molt_test {

void UpdateFixture::TearDown() {
  if (server) server->Stop();
}

void UpdateFixture::AddFile(const std::string& name, const Molt::Bytes& bytes, bool installed) {
  WriteFile(release() / name, bytes);
  if (installed) WriteFile(install() / name, bytes);
}

void UpdateFixture::Publish(const Molt::SigningKey* key) {
  std::string error;
  ASSERT_TRUE(MoltTools::Publish(release(), published(), key, &error)) << error;
}

void UpdateFixture::StartServer() {
  server = std::make_unique<MoltTools::UpdateServer>(published(), [this](const std::string& line) {
    std::lock_guard lock(logLock_);
    log_.push_back(line);
    logged_.notify_all();
  });
  ASSERT_TRUE(server->Start(0));
}

std::unique_ptr<Molt::Molter> UpdateFixture::MakeMolter(Molt::Bytes publicKey) {
  std::filesystem::create_directories(install());
  return std::make_unique<Molt::Molter>(install(), Molt::MoltProgress{}, server->Endpoint(),
                                        std::move(publicKey));
}

std::vector<std::string> UpdateFixture::LogLines(std::size_t count) {
  std::unique_lock lock(logLock_);
  // The server logs right after it answers, so the line may trail the answer a little.
  logged_.wait_for(lock, std::chrono::seconds(5), [&] { return log_.size() >= count; });
  return log_;
}

std::uint64_t UpdateFixture::BytesSent(const std::string& word) {
  std::uint64_t total = 0;
  std::lock_guard lock(logLock_);
  for (const std::string& line : log_) {
    std::istringstream fields(line);
    std::string address, method, logged;
    int status = 0;
    std::uint64_t bytes = 0;
    if (fields >> address >> method >> logged >> status >> bytes && logged == word) total += bytes;
  }
  return total;
}

}  // namespace molt_test
