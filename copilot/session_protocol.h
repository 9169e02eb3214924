// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/peer_json.h"
#include "copilot/copilot_raw.h"
#include "copilot/local_models.h"
#include "copilot/messages.h"
#include "copilot/session_options.h"

/// One conversation of either back-end. A Copilot session is addressed by its id; the Ollama
/// back-end keeps its own connection in `ollama`.
struct COPILOT_SESSION {
  virtual ~COPILOT_SESSION() = default;
  std::string sessionId;
  std::string workspacePath;
  std::string unused;
  std::string model;
  std::shared_ptr<PENDING_MESSAGE> current;
  std::vector<std::shared_ptr<PENDING_MESSAGE>> queue;
  bool elicitation = false;
  COPILOT_RAW* client = nullptr;  // the client the session was created through
  std::unique_ptr<LocalConversation> local;  // set for a conversation on a local server
  // A UTF-16 peer may end one piece with the first half of a surrogate pair.
  common::SurrogateJoiner contentHalves, reasoningHalves;
};

constexpr char kConnectionLost[] = "The connection to Copilot was lost.";
constexpr char kAbortUnanswered[] = "Copilot did not answer the abort.";
/// How long an aborted prompt waits for the CLI's idle before it ends without it.
constexpr std::chrono::seconds kAbortPatience{2};

/// Null when no conversation could be opened; then `failure` says why.
std::shared_ptr<COPILOT_SESSION> CreateSession(COPILOT_RAW& client, const std::string& model,
                                               const SessionOptions* options,
                                               std::string* failure = nullptr);
nlohmann::json ApproveAll(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session);
std::shared_ptr<PENDING_MESSAGE> MakeMessage(const std::string& promptUtf8,
                                             PieceCallback onReasoning, PieceCallback onContent,
                                             uint64_t userData,
                                             const std::vector<std::string>* attachments);
void Send(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
          const std::shared_ptr<PENDING_MESSAGE>& message);
/// 0 completed (also when an abort went unanswered for kAbortPatience: then the error is
/// kAbortUnanswered and what streamed in is the content), -1 not completed within 600 s,
/// -2 no session, -3 no message.
int Wait(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
         const std::shared_ptr<PENDING_MESSAGE>& message);
void Deliver(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
             const std::shared_ptr<PENDING_MESSAGE>& message);
void Abort(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session);
nlohmann::json DeleteSession(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session);
nlohmann::json CompactHistory(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session);

/// Every string in `message` with its surrogate stand-ins settled (common::RepairJsonText); with
/// `keepDelta`, a streamed piece keeps them, to be joined with the next piece.
void SettleStandIns(nlohmann::json& message, bool keepDelta);
/// A whole JSON text from a peer, repaired and settled; discarded (not thrown) when unreadable.
nlohmann::json ParsePeerJson(const std::string& text);

// Receive-thread handlers, called with queueLock held.
void HandleToolCall(COPILOT_RAW& client, const nlohmann::json& request);
void HandleUserInputRequest(COPILOT_RAW& client, const nlohmann::json& request);
/// True when the event was consumed.
bool HandleSessionEvent(COPILOT_RAW& client, const nlohmann::json& notification,
                        const std::string& body);
/// Copies what the prompt collected into its completion record.
void CompleteMessage(PENDING_MESSAGE& message);
/// Gives every queued prompt of the session an empty completion.
void FinishQueuedPrompts(COPILOT_SESSION& session);
/// Ends every prompt in flight with the connection-lost error.
void FailInFlight(COPILOT_RAW& client);
