// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session.h"

std::atomic<std::shared_ptr<CMDSESSION>> cmdSession;
std::atomic<std::shared_ptr<COPILOT_RAW>> copilot;
std::atomic<bool> statusKnown{false};
std::atomic<int32_t> promptBusy{0};
std::atomic<bool> commandBusy{false};
std::atomic<int32_t> copyTaken{0};
std::atomic<bool> afterReasoning{false};
std::atomic<bool> quitting{false};

namespace {

std::mutex statusLock;
AccountStatus copilotStatus;

}  // namespace

const char* ModeName(int32_t mode) {
  return mode == kFaustMode ? "faust" : mode == kCmdMode ? "cmd" : "chat";
}

size_t CMDSESSION::ResponseCount() const {
  std::lock_guard guard(crossThreadLock);
  return responses.size();
}

std::shared_ptr<COPILOT_SESSION> CMDSESSION::Conversation() const {
  std::lock_guard guard(crossThreadLock);
  return conversation;
}

void CMDSESSION::SetConversation(std::shared_ptr<COPILOT_SESSION> next) {
  std::lock_guard guard(crossThreadLock);
  conversation = std::move(next);
}

void CMDSESSION::AddResponse(std::string text) {
  std::lock_guard guard(crossThreadLock);
  responses.push_back(std::move(text));
}

AccountStatus CopilotStatus() {
  std::lock_guard guard(statusLock);
  return copilotStatus;
}

void SetCopilotStatus(AccountStatus status) {
  std::lock_guard guard(statusLock);
  copilotStatus = std::move(status);
}

void ClearAuthenticated() {
  std::lock_guard guard(statusLock);
  copilotStatus.isAuthenticated = false;
}

bool IsAuthenticated() {
  std::lock_guard guard(statusLock);
  return copilotStatus.isAuthenticated;
}
