// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

/// Receives a copy of one streamed piece; a negative result aborts the prompt.
using PieceCallback = std::function<int32_t(std::string& text, uint64_t userData)>;

/// One streamed piece of text.
struct COPILOT_MESSAGE {
  std::string text;
  bool delivered = false;
};

/// The result of a finished prompt.
struct COMPLETED_MESSAGE {
  std::string error;
  std::string content;
  std::string unused;  // never written by either back-end
  std::string reasoning;
};

/// One prompt from creation to completion.
struct PENDING_MESSAGE {
  uint8_t state = 0;  // 0 created, 1 sent
  std::string prompt;
  std::vector<std::string> attachments;
  std::string requestId;
  PieceCallback onReasoning;
  PieceCallback onContent;
  uint64_t userData = 0;
  std::string error;
  std::string content;
  std::string reasoning;
  std::shared_ptr<COMPLETED_MESSAGE> completed;
  std::vector<std::shared_ptr<COPILOT_MESSAGE>> reasoningDeltas;
  std::vector<std::shared_ptr<COPILOT_MESSAGE>> contentDeltas;
  // Every delta before these positions has been handed to its callback, so a delivery starts
  // where the last one ended instead of walking the whole answer again.
  size_t reasoningDelivered = 0;
  size_t contentDelivered = 0;
  /// Set by an abort: the CLI must confirm it with its idle by then.
  std::chrono::steady_clock::time_point abortDeadline{};
};
