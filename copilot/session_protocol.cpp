// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/session_protocol.h"

#include <algorithm>
#include <chrono>

using nlohmann::json;

namespace {

json Envelope(COPILOT_RAW& client, const char* method, json params) {
  return {{"jsonrpc", "2.0"}, {"id", client.NextId()}, {"method", method},
          {"params", std::move(params)}};
}

bool IsUsable(const std::shared_ptr<COPILOT_SESSION>& session) {
  return session && !session->sessionId.empty();
}

json StringArray(const std::vector<std::string>& items) {
  json array = json::array();
  for (const std::string& item : items) array.push_back(item);
  return array;
}

json CreateParams(COPILOT_RAW& client, const std::string& model, const SessionOptions& options) {
  json params = {{"model", model}};
  if (!options.infiniteSessions) params["infinite_sessions"] = {{"enabled", false}};
  params["requestPermission"] = true;
  if (options.userInputHandler) {
    client.userInputHandler = options.userInputHandler;
    client.userInputContext = options.userInputContext;
    params["requestUserInput"] = true;
  }
  params["envValueMode"] = "direct";
  params["streaming"] = options.streaming;
  if (!options.systemMessage.empty()) params["system_message"] = options.systemMessage;
  if (!options.reasoningEffort.empty()) params["reasoning_effort"] = options.reasoningEffort;
  if (!options.skillDirectories.empty())
    params["skill_directories"] = StringArray(options.skillDirectories);
  if (!options.disabledSkills.empty()) params["disabled_skills"] = StringArray(options.disabledSkills);
  return params;
}

// Why session.create gave no session: the CLI's own message when it sent one.
std::string CreateFailure(const json& response) {
  if (response.is_object() && response.contains("error") && response["error"].is_object() &&
      response["error"].contains("message") && response["error"]["message"].is_string())
    return "Copilot could not open a conversation: " +
           response["error"]["message"].get<std::string>();
  if (response.is_null()) return "Copilot did not answer the request for a conversation.";
  return "Copilot's answer to the request for a conversation could not be read.";
}

}  // namespace

std::shared_ptr<COPILOT_SESSION> CreateSession(COPILOT_RAW& client, const std::string& model,
                                               const SessionOptions* options,
                                               std::string* failure) {
  SessionOptions defaults;
  if (!options) options = &defaults;
  std::vector<ModelInfo> models = client.ListModels();
  bool isCopilotModel = std::any_of(models.begin(), models.end(),
                                    [&](const ModelInfo& m) { return m.id == model; });
  if (!isCopilotModel) {
    std::shared_ptr<LocalModels> local = GetLocalModels();
    auto session = local ? local->Open(model, options->streaming, client.shared_from_this()) : nullptr;
    if (!session && failure) *failure = "No model " + model + " is offered.";
    return session;
  }
  json response = client.Request(Envelope(client, "session.create",
                                          CreateParams(client, model, *options)),
                                 true);
  try {
    const json& result = response.at("result");
    auto session = std::make_shared<COPILOT_SESSION>();
    session->sessionId = result.at("sessionId").get<std::string>();
    session->model = model;
    session->workspacePath = result.at("workspacePath").get<std::string>();
    if (result.contains("capabilities") && result["capabilities"].contains("ui") &&
        result["capabilities"]["ui"].contains("elicitation"))
      session->elicitation = result["capabilities"]["ui"]["elicitation"].get<bool>();
    session->client = &client;
    std::lock_guard queue(client.queueLock);
    client.sessions.push_back(session);
    return session;
  } catch (const std::exception&) {
    if (failure) *failure = CreateFailure(response);
    return nullptr;
  }
}

json ApproveAll(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session) {
  if (!IsUsable(session) || session->local) return nullptr;
  return client.Request(Envelope(client, "session.permissions.setApproveAll",
                                 {{"sessionId", session->sessionId}, {"enabled", true}}),
                        true);
}

std::shared_ptr<PENDING_MESSAGE> MakeMessage(const std::string& promptUtf8,
                                             PieceCallback onReasoning, PieceCallback onContent,
                                             uint64_t userData,
                                             const std::vector<std::string>* attachments) {
  auto message = std::make_shared<PENDING_MESSAGE>();
  message->prompt = promptUtf8;
  message->onReasoning = std::move(onReasoning);
  message->onContent = std::move(onContent);
  message->userData = userData;
  if (attachments) message->attachments = *attachments;
  return message;
}

void Send(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
          const std::shared_ptr<PENDING_MESSAGE>& message) {
  if (session && session->local) {
    session->local->Send(message);
    return;
  }
  if (!IsUsable(session) || !message) return;
  std::lock_guard queue(client.queueLock);
  if (session->current) {
    session->queue.push_back(message);
    return;
  }
  client.ClearInbox();
  json params = {{"sessionId", session->sessionId}, {"prompt", message->prompt}};
  if (!message->attachments.empty()) {
    json files = json::array();
    for (std::string path : message->attachments) {
      std::replace(path.begin(), path.end(), '\\', '/');
      files.push_back({{"type", "file"}, {"path", path}});
    }
    params["attachments"] = files;
  }
  json request = Envelope(client, "session.send", std::move(params));
  message->requestId = request["id"];
  session->current = message;
  message->state = 1;
  if (!client.Connected()) {
    // Nothing would ever answer; the waiter hears it at once instead of after ten minutes.
    message->error = kConnectionLost;
    CompleteMessage(*message);
    session->current = nullptr;
    return;
  }
  client.Request(request, false);
}

void Deliver(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
             const std::shared_ptr<PENDING_MESSAGE>& message) {
  std::lock_guard queue(client.queueLock);
  auto deliverAll = [&](std::vector<std::shared_ptr<COPILOT_MESSAGE>>& deltas, size_t& next,
                        const PieceCallback& callback) {
    // Index, not iterator: a callback's Abort may not add deltas, but stay safe if it does.
    for (; callback && next < deltas.size(); ++next) {
      if (deltas[next]->delivered) continue;
      deltas[next]->delivered = true;
      std::string text = deltas[next]->text;
      if (callback(text, message->userData) < 0) Abort(client, session);
    }
  };
  deliverAll(message->reasoningDeltas, message->reasoningDelivered, message->onReasoning);
  deliverAll(message->contentDeltas, message->contentDelivered, message->onContent);
}

namespace {

// The prompt ends without the CLI's word; what streamed in so far is kept as its answer.
void GiveUpAfterAbort(const std::shared_ptr<COPILOT_SESSION>& session, PENDING_MESSAGE& message) {
  if (message.content.empty())
    for (const auto& delta : message.contentDeltas) message.content += delta->text;
  message.error = kAbortUnanswered;
  CompleteMessage(message);
  if (session->current.get() == &message) session->current = nullptr;
}

}  // namespace

int Wait(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
         const std::shared_ptr<PENDING_MESSAGE>& message) {
  if (!session) return -2;
  if (!message) return -3;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(600);
  std::unique_lock queue(client.queueLock);
  for (;;) {
    Deliver(client, session, message);
    if (message->completed) return 0;
    auto now = std::chrono::steady_clock::now();
    if (message->abortDeadline.time_since_epoch().count() != 0 && now >= message->abortDeadline) {
      GiveUpAfterAbort(session, *message);
      return 0;
    }
    if (now >= deadline) return -1;
    client.arrived.wait_for(queue, std::chrono::milliseconds(100));
  }
}

void Abort(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session) {
  if (!session) return;
  if (session->local) {
    session->local->Abort();
    return;
  }
  // Queued prompts end before the CLI hears of the abort: its idle would otherwise send the
  // first of them on, and that one's waiter would wait for an answer nobody shows.
  std::lock_guard queue(client.queueLock);
  client.FinishQueued(session);
  if (auto current = session->current; current && current->abortDeadline.time_since_epoch().count() == 0)
    current->abortDeadline = std::chrono::steady_clock::now() + kAbortPatience;
  client.Request(Envelope(client, "session.abort", {{"sessionId", session->sessionId}}), false);
}

json DeleteSession(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session) {
  if (!session) return nullptr;
  if (session->local) {
    session->local.reset();
    return nullptr;
  }
  json response =
      client.Request(Envelope(client, "session.delete", {{"sessionId", session->sessionId}}), true);
  session->sessionId.clear();
  return response;
}

json CompactHistory(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session) {
  if (!session || session->local) return nullptr;
  return client.Request(
      Envelope(client, "session.history.compact", {{"sessionId", session->sessionId}}), true);
}

void CompleteMessage(PENDING_MESSAGE& message) {
  if (!message.completed) message.completed = std::make_shared<COMPLETED_MESSAGE>();
  message.completed->content = message.content;
  message.completed->reasoning = message.reasoning;
  message.completed->error = message.error;
}

void FinishQueuedPrompts(COPILOT_SESSION& session) {
  for (const auto& message : session.queue) {
    if (!message->completed) message->completed = std::make_shared<COMPLETED_MESSAGE>();
    message->completed->content.clear();
  }
}

void FailInFlight(COPILOT_RAW& client) {
  for (const auto& session : client.sessions) {
    if (!session->current) continue;
    session->current->error = kConnectionLost;
    CompleteMessage(*session->current);
    session->current = nullptr;
  }
}
