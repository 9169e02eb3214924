// SPDX-License-Identifier: GPL-3.0-or-later
// What molt-server does: answers the updater's "hashes", "sigs" and "patch" requests from a
// folder that molt-publish filled, over plain HTTP (a TLS proxy goes in front of it).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace MoltTools {

/// The longest block list taken, and the most block bytes one answer carries.
inline constexpr std::size_t kLongestBlockList = 16u << 20;
inline constexpr std::uint64_t kLargestPatch = 1ull << 30;

class UpdateServer {
 public:
  /// One line per answered request, ending in the bytes sent ("... 1234 bytes"). Called on
  /// the server's threads, one call at a time.
  using LogLine = std::function<void(const std::string& line)>;

  /// Answers from `publish`.
  UpdateServer(std::filesystem::path publish, LogLine log);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  /// Listens on 127.0.0.1 (or `host`) and `port` (0: any free one) on a thread of its own.
  bool Start(int port, const std::string& host = "127.0.0.1");
  void Stop();
  int port() const { return port_; }
  std::string Endpoint() const;

 private:
  void Route();

  std::filesystem::path publish_;
  LogLine log_;
  std::mutex logLock_;
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace MoltTools
