// SPDX-License-Identifier: GPL-3.0-or-later
// A release, its published form served by the real update server on loopback, and an
// installation to update.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "molt/list_signature.h"
#include "molt/molter.h"
#include "tests/molt/test_files.h"
#include "tools/molt/update_server.h"

namespace molt_test {

class UpdateFixture : public ::testing::Test {
 protected:
  void TearDown() override;

  std::filesystem::path release() const { return temp.path() / "release"; }
  std::filesystem::path published() const { return temp.path() / "publish"; }
  std::filesystem::path install() const { return temp.path() / "install"; }

  /// Writes `bytes` as `name` into the release (and, with `installed`, the installation).
  void AddFile(const std::string& name, const Molt::Bytes& bytes, bool installed);
  void Publish(const Molt::SigningKey* key = nullptr);
  void StartServer();
  /// A Molter for the installation, talking to the server.
  std::unique_ptr<Molt::Molter> MakeMolter(Molt::Bytes publicKey = {});
  /// The server's log lines once `count` of them are there (at most a few seconds).
  std::vector<std::string> LogLines(std::size_t count);
  /// The bytes the server sent for requests of `word`, per its log.
  std::uint64_t BytesSent(const std::string& word);

  TempFolder temp;
  std::unique_ptr<MoltTools::UpdateServer> server;

 private:
  std::mutex logLock_;
  std::condition_variable logged_;
  std::vector<std::string> log_;
};

}  // namespace molt_test
