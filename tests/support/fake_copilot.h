// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/pty_session.h"

namespace testing_support {

/// The scriptable fake Copilot CLI: a scenario in, a log of what it received out.
class FakeCopilot {
 public:
  explicit FakeCopilot(const nlohmann::json& scenario);
  ~FakeCopilot();

  /// The environment that makes tessary (or a client) start this fake.
  std::map<std::string, std::string> Environment() const;
  PtySession::Options Options() const;
  std::string Path() const;

  /// Every request the fake received, in order.
  std::vector<nlohmann::json> Received() const;
  /// The command line and environment of the fake's starts.
  std::vector<nlohmann::json> Starts() const;

 private:
  std::vector<nlohmann::json> LogEntries(const char* key) const;
  std::string folder_;
};

}  // namespace testing_support
