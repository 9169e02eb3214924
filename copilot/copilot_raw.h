// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "copilot/account_status.h"
#include "copilot/forward.h"
#include "copilot/session_options.h"
#include "platform/child_process.h"

/// The connection to one Copilot CLI child: launch, JSON-RPC framing, request/response
/// matching and the receive thread. Always held by a shared pointer; the last owner's release
/// closes the connection, joins the receive thread and ends the child.
class COPILOT_RAW : public std::enable_shared_from_this<COPILOT_RAW> {
 public:
  /// Launches the CLI (nothing when `exePath` is empty) and connects. The object is usable
  /// either way; Connected() tells.
  COPILOT_RAW(std::string exePath, uint32_t port, const std::string& token, int32_t launchMode);
  ~COPILOT_RAW();
  COPILOT_RAW(const COPILOT_RAW&) = delete;
  COPILOT_RAW& operator=(const COPILOT_RAW&) = delete;

  std::string NextId();
  /// Sends one framed message. With `wait`, blocks until the message with the same "id"
  /// arrives and returns it; returns null at once when not connected or when the connection
  /// ends while waiting.
  /// `patience` bounds the wait; null comes back when it runs out.
  nlohmann::json Request(const nlohmann::json& message, bool wait,
                         std::optional<std::chrono::milliseconds> patience = std::nullopt);
  /// Completes every queued, unsent prompt of `session` (of all sessions when null) with an
  /// empty answer.
  void FinishQueued(const std::shared_ptr<COPILOT_SESSION>& session);
  void ClearInbox();

  bool Connected() const { return connected_.load(); }
  /// Ends the connection from any thread: every waiter returns null at once, and a connection
  /// still being made is given up.
  void Close();
  /// True when the CLI was started but has already ended (for example: its port was taken).
  bool ChildEnded() { return process && !process->Running(); }
  const std::string& ExePath() const { return exePath; }
  int32_t LaunchMode() const { return launchMode; }
  /// The command line the child was started with (the token itself never appears in it).
  const std::vector<std::string>& LaunchArguments() const { return arguments_; }
  /// Why a launched CLI could not be used, for the status; empty when nothing is known.
  std::string Failure() const;

  // Account queries.
  nlohmann::json GetAuthStatus();
  nlohmann::json ListModelsRaw();
  std::vector<ModelInfo> ListModels();
  nlohmann::json GetQuota();

  // Session bookkeeping shared with the session protocol.
  std::string host = "127.0.0.1";
  uint32_t port = 0;
  std::atomic<uint32_t> nextId{1};
  std::vector<std::shared_ptr<COPILOT_SESSION>> sessions;
  /// One message nobody has taken yet, with its "id" as written (empty when it has none), so
  /// that looking for an answer never parses a message twice.
  struct InboxEntry {
    std::string id;
    std::string body;
  };
  /// What arrived and no handler consumed. Bounded (kInboxEntries, kInboxBytes): the oldest
  /// entries go first, never the answer a Request waits for.
  std::list<InboxEntry> inbox;
  static constexpr size_t kInboxEntries = 1000;
  static constexpr size_t kInboxBytes = size_t(8) << 20;
  std::recursive_mutex queueLock;
  /// Signalled under queueLock whenever a message arrives or a prompt completes.
  std::condition_variable_any arrived;
  UserInputHandler userInputHandler;
  void* userInputContext = nullptr;

 private:
  void Launch(const std::string& token);
  enum class Handshake { Accepted, Refused, Dropped, Unanswered };
  void Connect();
  void Disconnect();
  Handshake ShakeHands();
  void ReceiveLoop();
  bool Dispatch(const std::string& received);
  void EndOfConnection();
  void Append(const nlohmann::json& message, const std::string& body);
  void DropOldest();
  bool SendFrame(const std::string& frame);
  bool TakeAnswer(const nlohmann::json& id, std::string& answer);

  std::atomic<int> sock{-1};
  std::atomic<bool> closed_{false};
  std::atomic<bool> connected_{false};
  std::mutex waitLock;
  std::mutex closeLock_;
  std::condition_variable closeWake_;  // cuts the pause between connection attempts short
  mutable std::mutex failureLock_;
  std::string failure_;
  std::mutex sendLock;
  uint64_t arrivals_ = 0;  // under queueLock: counts appends, so a waiter never misses one
  size_t inboxBytes_ = 0;  // under queueLock
  std::string awaited_;    // under queueLock: the id the current Request waits for
  std::thread receiver;
  std::string exePath;
  std::unique_ptr<platform::ChildProcess> process;
  int32_t launchMode = 0;
  std::string connectionSecret_;
  std::vector<std::string> arguments_;
};

/// Closes every client that exists, also one still starting, and every one made later; for
/// the end of the program.
void CloseEveryClient();

/// The first port from `first` on that no IPv4 TCP endpoint on this machine uses locally.
int FindFreePort(int first);

/// The CLI's command line for the given launch mode, with or without a token variable.
std::vector<std::string> LaunchArguments(const std::string& exePath, const std::string& tokenName,
                                         int port, int32_t launchMode);
