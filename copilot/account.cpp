// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/account.h"

#include <cstdio>

#include "common/terminal_text.h"
#include "common/text.h"
#include "copilot/local_models.h"

using nlohmann::json;

namespace {

json Envelope(COPILOT_RAW& client, const char* method) {
  return {{"jsonrpc", "2.0"}, {"id", client.NextId()}, {"method", method}};
}

// Reads `key` of `object` into `field` when present; a wrong type throws.
template <typename T>
void ReadIfPresent(const json& object, const char* key, T& field) {
  if (object.contains(key)) field = object[key].get<T>();
}

void ReadIntIfPresent(const json& object, const char* key, int& field) {
  if (!object.contains(key)) return;
  const json& value = object[key];
  if (value.is_boolean()) field = value.get<bool>() ? 1 : 0;
  else field = common::ClampToInt(value.get<double>());
}

ModelInfo ParseModel(const json& entry) {
  ModelInfo model;
  model.id = entry.at("id").get<std::string>();
  model.name = entry.at("name").get<std::string>();
  if (entry.contains("capabilities") && entry["capabilities"].contains("limits")) {
    const json& capabilities = entry["capabilities"];
    const json& limits = capabilities["limits"];
    ReadIntIfPresent(limits, "max_prompt_tokens", model.maxPromptTokens);
    ReadIntIfPresent(limits, "max_context_window_tokens", model.maxContextWindowTokens);
    if (limits.contains("vision")) {
      const json& vision = limits["vision"];
      if (vision.contains("supported_media_types")) {
        model.vision = true;
        model.supportedMediaTypes = vision["supported_media_types"].get<std::vector<std::string>>();
      }
      ReadIntIfPresent(vision, "max_prompt_images", model.maxPromptImages);
      ReadIntIfPresent(vision, "max_prompt_image_size", model.maxPromptImageSize);
    }
    if (capabilities.contains("supports")) {
      const json& supports = capabilities["supports"];
      ReadIfPresent(supports, "adaptive_thinking", model.adaptiveThinking);
      ReadIfPresent(supports, "tool_calls", model.toolCalls);
      ReadIfPresent(supports, "reasoningEffort", model.supportsReasoningEffort);
      ReadIfPresent(supports, "structured_outputs", model.structuredOutputs);
      ReadIfPresent(supports, "streaming", model.supportsStreaming);
    }
    ReadIfPresent(entry, "supportedReasoningEfforts", model.supportedReasoningEfforts);
  }
  if (entry.contains("policy")) ReadIfPresent(entry["policy"], "terms", model.policyTerms);
  if (entry.contains("billing") && entry["billing"].contains("tokenPrices")) {
    const json& prices = entry["billing"]["tokenPrices"];
    ReadIntIfPresent(prices, "inputPrice", model.inputPrice);
    ReadIntIfPresent(prices, "outputPrice", model.outputPrice);
    ReadIntIfPresent(prices, "cachePrice", model.cachePrice);
    ReadIntIfPresent(prices, "batchSize", model.batchSize);
    ReadIntIfPresent(prices, "contentMax", model.contentMax);
  }
  return model;
}

// Stops at the first missing or mistyped value; names read before it stay.
void ReadQuotas(const json& response, AccountStatus& status) {
  try {
    const json& snapshots = response.at("result").at("quotaSnapshots");
    for (const char* name : {"chat", "completions", "premium_interactions"}) {
      const json& entry = snapshots.at(name);
      QuotaInfo quota;
      quota.entitlementRequests = common::ClampToInt(entry.at("entitlementRequests").get<double>());
      quota.overage = common::ClampToInt(entry.at("overage").get<double>());
      quota.usedRequests = common::ClampToInt(entry.at("usedRequests").get<double>());
      quota.remainingPercentage = common::ClampToFloat(entry.at("remainingPercentage").get<double>());
      quota.overageAllowedWithExhaustedQuota =
          entry.at("overageAllowedWithExhaustedQuota").get<bool>();
      quota.resetDate = entry.at("resetDate").get<std::string>();
      status.quotas[name] = quota;
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

json COPILOT_RAW::GetAuthStatus() { return Request(Envelope(*this, "auth.getStatus"), true); }
json COPILOT_RAW::ListModelsRaw() { return Request(Envelope(*this, "models.list"), true); }
json COPILOT_RAW::GetQuota() { return Request(Envelope(*this, "account.getQuota"), true); }
std::vector<ModelInfo> COPILOT_RAW::ListModels() { return ParseModelList(ListModelsRaw()); }

std::vector<ModelInfo> ParseModelList(const json& response) {
  std::vector<ModelInfo> models;
  if (!response.is_object() || !response.contains("result") || !response["result"].is_object() ||
      !response["result"].contains("models"))
    return models;
  try {
    for (const json& entry : response["result"]["models"]) models.push_back(ParseModel(entry));
  } catch (const std::exception&) {
    models.clear();
  }
  return models;
}

AccountStatus GetStatus(COPILOT_RAW& client) {
  AccountStatus status;
  status.installed = true;
  if (!client.Connected()) {
    status.problem = client.Failure();
    status.installed = !status.problem.empty();
    return status;
  }
  status.path = client.ExePath();
  status.connected = true;
  json auth = client.GetAuthStatus();
  if (auth.is_object() && auth.contains("result") && auth["result"].is_object()) {
    const json& flag = auth["result"].value("isAuthenticated", json());
    // Anything but a real boolean counts as not signed in.
    status.isAuthenticated = flag.is_boolean() && flag.get<bool>();
    if (!flag.is_boolean()) status.problem = "Copilot's sign-in status could not be read.";
  } else if (auth.is_object() && auth.contains("error") && auth["error"].is_object()) {
    const json& message = auth["error"].value("message", json());
    status.problem = "Copilot could not tell its sign-in status: " +
                     (message.is_string() ? message.get<std::string>() : "no reason given") + ".";
  } else {
    status.problem = "Copilot's sign-in status could not be read.";
  }
  status.models = client.ListModels();
  if (std::shared_ptr<LocalModels> local = GetLocalModels()) {
    std::vector<ModelInfo> more = local->Models();
    status.models.insert(status.models.end(), more.begin(), more.end());
  }
  json quota = client.GetQuota();
  if (quota.is_object() && quota.contains("result")) ReadQuotas(quota, status);
  return status;
}

std::string StatusText(const AccountStatus& status) {
  if (!status.installed) return "Copilot is not installed.";
  std::string text = "Installed: Yes.\r\n";
  text += status.connected ? "Status: Connected.\r\n" : "Status: Disconnected.\r\n";
  if (!status.problem.empty()) text += status.problem + "\r\n";
  text += status.isAuthenticated ? "Authentication: Authenticated.\r\n"
                                 : "Authentication: Not Authenticated.\r\n";
  text += "\r\n\r\n";
  const std::string rule(52, '-');
  if (!status.models.empty()) {
    text += "Models\r\n" + rule + "\r\n";
    char line[128];
    for (const ModelInfo& model : status.models) {
      std::snprintf(line, sizeof line, "%05i - ", model.outputPrice);
      text += line + common::TerminalSafeLine(model.name) + "\r\n";
    }
  }
  auto premium = status.quotas.find("premium_interactions");
  if (premium != status.quotas.end()) {
    text += "\r\n\r\nAccount Quota\r\n" + rule + "\r\n";
    char line[128];
    std::snprintf(line, sizeof line, "%6.2f%% - Premium Percentage Usage (%d/%d)\r\n",
                  100.0 - double(premium->second.remainingPercentage),
                  premium->second.usedRequests, premium->second.entitlementRequests);
    text += line;
  }
  return text;
}
