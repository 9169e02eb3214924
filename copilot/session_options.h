// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

/// Answers a question the back-end asks the user: the whole request, the answer to fill in,
/// and whether a free-form answer is allowed (which the handler may change).
using UserInputHandler =
    std::function<void(const nlohmann::json& request, std::string& answer, bool& allowFreeform,
                       void* context)>;

/// The options a conversation is opened with.
struct SessionOptions {
  bool streaming = true;
  std::string reasoningEffort;
  std::string systemMessage;
  std::vector<std::string> skillDirectories;
  std::vector<std::string> disabledSkills;
  bool infiniteSessions = true;
  UserInputHandler userInputHandler;
  void* userInputContext = nullptr;
};
