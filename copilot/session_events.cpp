// SPDX-License-Identifier: GPL-3.0-or-later
// What the CLI sends on its own during a prompt: events, permission prompts, questions.
#include "copilot/session_protocol.h"

using nlohmann::json;

namespace {

std::vector<std::shared_ptr<COPILOT_SESSION>> Matching(COPILOT_RAW& client, const std::string& id) {
  std::vector<std::shared_ptr<COPILOT_SESSION>> found;
  for (const auto& session : client.sessions)
    if (session->sessionId == id) found.push_back(session);
  return found;
}

json Approval(const json& data) {
  std::string kind = data.at("promptRequest").at("kind").get<std::string>();
  if (kind == "commands")
    return {{"kind", kind}, {"commandIdentifiers", data["promptRequest"].value("commandIdentifiers", json())}};
  if (kind == "read" || kind == "write")
    return {{"kind", kind}, {"paths", data.at("permissionRequest").value("possiblePaths", json())}};
  if (kind == "http")
    return {{"kind", kind}, {"urls", data.at("permissionRequest").value("possibleUrls", json())}};
  return {{"kind", kind}};
}

void ApprovePermission(COPILOT_RAW& client, const std::string& sessionId, const json& data) {
  json params = {{"sessionId", sessionId},
                 {"requestId", data.at("requestId").get<std::string>()},
                 {"result", {{"kind", "approve-once"}, {"approval", Approval(data)}}}};
  client.Request({{"jsonrpc", "2.0"}, {"id", client.NextId()},
                  {"method", "session.permissions.handlePendingPermissionRequest"},
                  {"params", params}},
                 false);
}

bool AddDelta(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
              const json& data, bool reasoning) {
  if (!session) return false;
  auto delta = std::make_shared<COPILOT_MESSAGE>();
  auto& halves = reasoning ? session->reasoningHalves : session->contentHalves;
  delta->text = halves.Feed(data.at("deltaContent").get<std::string>());
  if (session->current && !delta->text.empty()) {
    auto& deltas = reasoning ? session->current->reasoningDeltas : session->current->contentDeltas;
    deltas.push_back(delta);
    Deliver(client, session, session->current);
  }
  return true;
}

bool AddMessage(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session,
                const json& data) {
  if (!data.contains("content") || data["content"].get<std::string>().empty()) return false;
  if (!session) return false;
  if (session->current) {
    Deliver(client, session, session->current);
    session->current->content += data["content"].get<std::string>();
    if (data.contains("reasoningText"))
      session->current->reasoning += data["reasoningText"].get<std::string>();
  }
  return true;
}

void Idle(COPILOT_RAW& client, const std::shared_ptr<COPILOT_SESSION>& session) {
  if (!session) return;
  session->contentHalves.Finish();
  session->reasoningHalves.Finish();
  if (auto message = session->current) {
    CompleteMessage(*message);
    session->current = nullptr;
  }
  if (!session->queue.empty()) {
    auto next = session->queue.front();
    session->queue.erase(session->queue.begin());
    Send(client, session, next);
  }
  client.arrived.notify_all();
}

void SettleAll(json& value) {
  if (value.is_string()) {
    value = common::SettleStandIns(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (auto& item : value) SettleAll(item);
  }
}

}  // namespace

void SettleStandIns(json& message, bool keepDelta) {
  // Looked up without operator[], which would add what is missing or throw on a non-object.
  auto member = [](json* in, const char* key) -> json* {
    if (!in || !in->is_object()) return nullptr;
    auto found = in->find(key);
    return found == in->end() ? nullptr : &*found;
  };
  json* event = keepDelta ? member(member(&message, "params"), "event") : nullptr;
  json* type = member(event, "type");
  json* data = member(event, "data");
  bool streamed = type && (*type == "assistant.message_delta" || *type == "assistant.reasoning_delta");
  json* piece = streamed ? member(data, "deltaContent") : nullptr;
  if (!piece || !piece->is_string()) data = nullptr;
  if (!data) return SettleAll(message);
  json delta = std::move((*data)["deltaContent"]);
  SettleAll(message);
  (*data)["deltaContent"] = std::move(delta);
}

json ParsePeerJson(const std::string& text) {
  bool standIns = false;
  json parsed = json::parse(common::RepairJsonText(text, standIns), nullptr, false);
  if (standIns) SettleStandIns(parsed, false);
  return parsed;
}

void HandleToolCall(COPILOT_RAW&, const json&) {
  // No client-side tools are offered; the request only lands in the inbox.
}

void HandleUserInputRequest(COPILOT_RAW& client, const json& request) {
  const json& params = request.at("params");
  params.at("sessionId").get<std::string>();
  params.at("question").get<std::string>();
  bool allowFreeform = params.at("allowFreeform").get<bool>();
  std::string answer;
  if (client.userInputHandler)
    client.userInputHandler(request, answer, allowFreeform, client.userInputContext);
  else
    answer = "No response";
  json reply = {{"jsonrpc", "2.0"}};
  if (request.contains("id")) reply["id"] = request["id"];
  reply["result"] = {{"answer", answer}, {"wasFreeform", true}};
  client.Request(reply, false);
}

bool HandleSessionEvent(COPILOT_RAW& client, const json& notification, const std::string& body) {
  const json& params = notification.at("params");
  std::string sessionId = params.contains("sessionId") ? params["sessionId"].get<std::string>() : "";
  const json& event = params.at("event");
  std::string type = event.at("type").get<std::string>();
  json data = event.value("data", json::object());
  auto sessions = Matching(client, sessionId);
  auto first = sessions.empty() ? nullptr : sessions.front();

  if (type == "permission.requested") {
    ApprovePermission(client, sessionId, data);
    return true;
  }
  if (type == "assistant.reasoning_delta") return AddDelta(client, first, data, true);
  if (type == "assistant.message_delta") return AddDelta(client, first, data, false);
  if (type == "assistant.message") return AddMessage(client, first, data);
  if (type == "session.error") {
    for (const auto& session : sessions)
      if (session->current) session->current->error = body;
    return !sessions.empty();
  }
  if (type == "session.idle") Idle(client, first);
  return false;
}
