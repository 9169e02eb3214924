// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "copilot/local_models.h"

/// Where the Ollama server listens: "localhost":11434, or $OLLAMA_HOST as host:port.
struct OllamaEndpoint {
  std::string host = "localhost";
  uint16_t port = 11434;
};
OllamaEndpoint OllamaServer();

/// The models the server has, in its order, marked as Ollama models. Gives up after 2 s
/// without an answer and after 5 s in all, so a dead server never holds up the prompt.
std::vector<ModelInfo> OllamaModels();
/// Ends the listings in progress and refuses later ones.
void CancelOllamaListings();

/// JSON string escaping, byte by byte; UTF-8 passes unchanged.
std::string EscapeJsonString(const std::string& bytes);

/// A conversation with `model`, or null when the server does not have it or cannot be reached.
std::shared_ptr<COPILOT_SESSION> OpenOllamaConversation(const std::string& model, bool streaming,
                                                        std::shared_ptr<COPILOT_RAW> client);

/// Serves every model Copilot does not list through the Ollama server.
class OllamaBackend : public LocalModels {
 public:
  std::vector<ModelInfo> Models() override { return OllamaModels(); }
  std::shared_ptr<COPILOT_SESSION> Open(const std::string& model, bool streaming,
                                        std::shared_ptr<COPILOT_RAW> client) override {
    return OpenOllamaConversation(model, streaming, std::move(client));
  }
  void CancelListings() override { CancelOllamaListings(); }
};
