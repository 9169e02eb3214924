// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "copilot/account_status.h"
#include "copilot/forward.h"
#include "copilot/session_options.h"

constexpr int32_t kChatMode = 0;
constexpr int32_t kFaustMode = 1;
constexpr int32_t kCmdMode = 2;

/// "chat", "faust" or "cmd".
const char* ModeName(int32_t mode);

/// The user's working context; exactly one exists per run.
struct CMDSESSION {
  std::string folder;
  std::shared_ptr<COPILOT_SESSION> conversation;
  SessionOptions options;
  std::string model = "gpt-4.1";
  int32_t mode = kChatMode;
  bool showThinking = true;
  std::vector<std::string> responses;
  int32_t retries = 3;
  int32_t retriesLeft = 3;
  int32_t autoCompile = 2;

  // The prompt loop writes every field; the control thread reads `responses` (its size) and
  // `conversation`, so those two change only under this lock.
  mutable std::mutex crossThreadLock;

  size_t ResponseCount() const;
  std::shared_ptr<COPILOT_SESSION> Conversation() const;
  void SetConversation(std::shared_ptr<COPILOT_SESSION> next);
  void AddResponse(std::string text);
};

// Process-wide values, living from start to exit.
extern std::atomic<std::shared_ptr<CMDSESSION>> cmdSession;
extern std::atomic<std::shared_ptr<COPILOT_RAW>> copilot;
extern std::atomic<bool> statusKnown;
extern std::atomic<int32_t> promptBusy;
extern std::atomic<bool> commandBusy;  // a typed line is being handled: Ctrl+C must not end us
extern std::atomic<int32_t> copyTaken;
extern std::atomic<bool> afterReasoning;
extern std::atomic<bool> quitting;

/// The last account snapshot. The start-up thread replaces it while the prompt loop reads it,
/// so it is only reached through these two calls.
AccountStatus CopilotStatus();
void SetCopilotStatus(AccountStatus status);
void ClearAuthenticated();
bool IsAuthenticated();
