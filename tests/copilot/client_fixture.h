// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "copilot/copilot_raw.h"
#include "tests/support/fake_copilot.h"

// Starts a COPILOT_RAW on the fake CLI with the given scenario.
class ClientTest : public ::testing::Test {
 protected:
  std::shared_ptr<COPILOT_RAW> Start(const nlohmann::json& scenario, const std::string& token = "") {
    fake_ = std::make_unique<testing_support::FakeCopilot>(scenario);
    for (const auto& [name, value] : fake_->Environment()) setenv(name.c_str(), value.c_str(), 1);
    // Tests run in parallel: each process looks for its port in a range of its own.
    int first = 20000 + int(getpid() % 2000) * 10;
    return std::make_shared<COPILOT_RAW>(fake_->Path(), FindFreePort(first), token, 0);
  }
  void TearDown() override {
    for (const char* name : {"TESSARY_COPILOT_CLI", "FAKE_COPILOT_SCRIPT", "FAKE_COPILOT_LOG"})
      unsetenv(name);
  }

  std::unique_ptr<testing_support::FakeCopilot> fake_;
};
