// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "copilot/copilot_raw.h"
#include "copilot/local_models.h"
#include "ollama/ollama.h"

/// One conversation with the Ollama server: a kept-alive connection, one request per prompt,
/// a receiver thread that turns each reply into the prompt's answer, and the model's memory
/// ("context") carried from reply to reply.
class OllamaConversation : public LocalConversation {
 public:
  OllamaConversation(std::shared_ptr<COPILOT_RAW> client, std::string model, bool streaming,
                     OllamaEndpoint server);
  ~OllamaConversation() override;

  /// Connects and starts the receiver; false when the server cannot be reached.
  bool Open();
  void Send(const std::shared_ptr<PENDING_MESSAGE>& message) override;
  void Abort() override;

 private:
  void Receive(int socket);
  void Handle(const std::string& body, std::string& answer);
  void Finish(const std::string& answer, const std::string& error);
  void Close();
  std::string Body(const std::string& prompt);

  std::shared_ptr<COPILOT_RAW> client_;  // its queueLock guards what Wait reads
  std::string model_;
  bool streaming_;
  OllamaEndpoint server_;
  int socket_ = -1;
  std::thread receiver_;
  std::string context_;                 // under queueLock
  std::shared_ptr<PENDING_MESSAGE> current_;  // under queueLock
  uint32_t requestCounter_ = 1;
  std::atomic<bool> receiving_{false};
  std::atomic<bool> aborted_{false};
};
