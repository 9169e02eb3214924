// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_copilot.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace testing_support {

FakeCopilot::FakeCopilot(const nlohmann::json& scenario) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/fake-copilot-XXXXXX";
  folder_ = mkdtemp(pattern.data());
  std::ofstream(folder_ + "/scenario.json") << (scenario.is_null() ? "{}" : scenario.dump());
}

FakeCopilot::~FakeCopilot() {
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
}

std::string FakeCopilot::Path() const { return FAKE_COPILOT; }

std::map<std::string, std::string> FakeCopilot::Environment() const {
  return {{"TESSARY_COPILOT_CLI", FAKE_COPILOT},
          {"FAKE_COPILOT_SCRIPT", folder_ + "/scenario.json"},
          {"FAKE_COPILOT_LOG", folder_ + "/log.jsonl"}};
}

PtySession::Options FakeCopilot::Options() const {
  PtySession::Options options;
  options.environment = Environment();
  return options;
}

std::vector<nlohmann::json> FakeCopilot::LogEntries(const char* key) const {
  std::vector<nlohmann::json> entries;
  std::ifstream log(folder_ + "/log.jsonl");
  std::string line;
  while (std::getline(log, line)) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_object() && entry.contains(key)) entries.push_back(entry);
  }
  return entries;
}

std::vector<nlohmann::json> FakeCopilot::Received() const {
  std::vector<nlohmann::json> requests;
  for (const auto& entry : LogEntries("received")) requests.push_back(entry["received"]);
  return requests;
}

std::vector<nlohmann::json> FakeCopilot::Starts() const { return LogEntries("argv"); }

}  // namespace testing_support
