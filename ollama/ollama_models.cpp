// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "copilot/session_protocol.h"
#include "ollama/ollama.h"
#include "webwire/fetch.h"

using nlohmann::json;

OllamaEndpoint OllamaServer() {
  OllamaEndpoint endpoint;
  const char* variable = getenv("OLLAMA_HOST");
  if (!variable || !*variable) return endpoint;
  std::string text = variable;
  if (size_t scheme = text.find("://"); scheme != std::string::npos) text = text.substr(scheme + 3);
  text = text.substr(0, text.find('/'));
  size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    int port = atoi(text.c_str() + colon + 1);
    if (port > 0 && port < 65536) endpoint.port = uint16_t(port);
    text = text.substr(0, colon);
  }
  if (!text.empty()) endpoint.host = text;
  return endpoint;
}

std::string EscapeJsonString(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
          out += escaped;
        } else {
          out += char(c);
        }
    }
  }
  return out;
}

namespace {

constexpr std::chrono::seconds kListingPause{2};  // connecting, and silence mid-answer
constexpr std::chrono::seconds kListingWhole{5};

std::atomic<bool> listingsCancelled{false};

bool HasVision(Webwire::rest_client& client, const std::string& model) {
  // The name goes in escaped: a quote in it must not break the request.
  Webwire::reply shown = Webwire::Fetch(client, "POST", "/api/show",
                                        {"Content-Type: application/json"},
                                        "{\"model\":\"" + EscapeJsonString(model) + "\"}");
  json reply = ParsePeerJson(shown.body);
  if (!reply.is_object() || !reply.contains("capabilities")) return false;
  for (const json& capability : reply["capabilities"])
    if (capability == "vision") return true;
  return false;
}

}  // namespace

void CancelOllamaListings() { listingsCancelled.store(true); }

std::vector<ModelInfo> OllamaModels() {
  std::vector<ModelInfo> models;
  if (listingsCancelled.load()) return models;
  OllamaEndpoint server = OllamaServer();
  Webwire::rest_client client;
  client.agent = "REST";
  client.defaultTimeout = kListingPause;
  client.wholeBodyTimeout = kListingPause;
  auto deadline = std::chrono::steady_clock::now() + kListingWhole;
  client.cancelled = [deadline] {
    return listingsCancelled.load() || std::chrono::steady_clock::now() >= deadline;
  };
  if (Webwire::Failed(client.Connect(server.host, false, server.port))) return models;
  Webwire::reply tags = Webwire::Fetch(client, "GET", "/api/tags");
  json list = ParsePeerJson(tags.body);
  if (!list.is_object() || !list.contains("models")) return models;
  try {
    for (const json& entry : list["models"]) {
      ModelInfo model;
      model.id = model.name = entry.at("model").get<std::string>();
      model.vision = HasVision(client, model.id);
      model.isOllama = true;
      models.push_back(std::move(model));
    }
  } catch (const std::exception&) {
    // An entry without a usable name ends the list there.
  }
  return models;
}
