// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {
class ChildProcess;
}

namespace testing_support {

/// The fake Ollama server on a free loopback port, for as long as the object lives.
class FakeOllama {
 public:
  explicit FakeOllama(const nlohmann::json& scenario);
  ~FakeOllama();

  int Port() const { return port_; }
  /// "127.0.0.1:PORT", the value for OLLAMA_HOST.
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  /// Every request: {"path": ..., "body": ...}, in order.
  std::vector<nlohmann::json> Requests() const;

 private:
  std::string folder_;
  int port_ = 0;
  std::unique_ptr<platform::ChildProcess> server_;
};

}  // namespace testing_support
