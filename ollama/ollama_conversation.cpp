// SPDX-License-Identifier: GPL-3.0-or-later
#include "ollama/ollama_conversation.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "copilot/session_protocol.h"
#include "ollama/http_reply.h"

using nlohmann::json;

namespace {

constexpr char kLost[] = "The connection to Ollama was lost.";
constexpr char kUnreadable[] = "Ollama sent a reply that could not be read.";

int ConnectTo(const OllamaEndpoint& server) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(server.host.c_str(), std::to_string(server.port).c_str(), &hints, &found) != 0)
    return -1;
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

}  // namespace

OllamaConversation::OllamaConversation(std::shared_ptr<COPILOT_RAW> client, std::string model,
                                       bool streaming, OllamaEndpoint server)
    : client_(std::move(client)), model_(std::move(model)), streaming_(streaming),
      server_(std::move(server)) {}

OllamaConversation::~OllamaConversation() { Close(); }

void OllamaConversation::Close() {
  if (socket_ >= 0) shutdown(socket_, SHUT_RDWR);
  if (receiver_.joinable()) receiver_.join();
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

bool OllamaConversation::Open() {
  Close();
  socket_ = ConnectTo(server_);
  if (socket_ < 0) return false;
  receiving_.store(true);
  receiver_ = std::thread([this, fd = socket_] { Receive(fd); });
  return true;
}

std::string OllamaConversation::Body(const std::string& prompt) {
  std::string body = "{\"model\":\"" + EscapeJsonString(model_) + "\",";
  body += "\"prompt\":\"" + EscapeJsonString(prompt) + "\",";
  body += "\"id\":\"" + std::to_string(requestCounter_++) + "\",";
  std::lock_guard queue(client_->queueLock);
  if (!context_.empty()) body += "\"context\":" + context_ + ",";
  return body + "\"stream\":false}";
}

void OllamaConversation::Send(const std::shared_ptr<PENDING_MESSAGE>& message) {
  if (!message) return;
  // A connection dropped by an abort or by the server is made again for the next prompt.
  if (!receiving_.load() && !Open()) {
    std::lock_guard queue(client_->queueLock);
    message->error = kLost;
    CompleteMessage(*message);
    client_->arrived.notify_all();
    return;
  }
  std::string id = std::to_string(requestCounter_);
  std::string body = Body(message->prompt);
  std::string request = "POST /api/generate HTTP/1.1\r\nHost: " + server_.host + ":" +
                        std::to_string(server_.port) +
                        "\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body;
  {
    std::lock_guard queue(client_->queueLock);
    current_ = message;
    message->requestId = id;
    message->state = 1;
  }
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = ::send(socket_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += size_t(n);
  }
}

void OllamaConversation::Abort() {
  // The reply cannot be told apart from the next one's, so the connection goes with it.
  aborted_.store(true);
  if (socket_ >= 0) shutdown(socket_, SHUT_RDWR);
}

void OllamaConversation::Handle(const std::string& body, std::string& answer) {
  json reply = ParsePeerJson(body);
  if (!reply.is_object()) return;
  std::lock_guard queue(client_->queueLock);
  if (reply.contains("response") && reply["response"].is_string()) {
    std::string text = reply["response"].get<std::string>();
    answer += text;
    // With streaming off the answer is shown once, when it is complete.
    if (streaming_ && current_) {
      auto piece = std::make_shared<COPILOT_MESSAGE>();
      piece->text = text;
      current_->contentDeltas.push_back(piece);
    }
  }
  if (reply.contains("context")) context_ = reply["context"].dump();
}

void OllamaConversation::Finish(const std::string& answer, const std::string& error) {
  std::lock_guard queue(client_->queueLock);
  if (!current_) return;
  current_->content = answer;
  current_->error = error;
  CompleteMessage(*current_);
  current_ = nullptr;
  client_->arrived.notify_all();
}

void OllamaConversation::Receive(int fd) {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    buffer.append(chunk, size_t(n));
    std::vector<std::string> bodies;
    bool readable = ExtractReplies(buffer, bodies);
    for (const std::string& body : bodies) {
      std::string answer;
      Handle(body, answer);
      Finish(answer, "");
    }
    if (!readable) {
      // Stop taking prompts before ending this one, so the next prompt connects afresh
      // instead of landing on this connection.
      receiving_.store(false);
      Finish("", kUnreadable);
      shutdown(fd, SHUT_RDWR);
      break;
    }
  }
  receiving_.store(false);
  Finish("", aborted_.exchange(false) ? "" : kLost);
}

std::shared_ptr<COPILOT_SESSION> OpenOllamaConversation(const std::string& model, bool streaming,
                                                        std::shared_ptr<COPILOT_RAW> client) {
  bool listed = false;
  for (const ModelInfo& info : OllamaModels()) listed = listed || info.id == model;
  if (!listed || !client) return nullptr;
  auto conversation = std::make_unique<OllamaConversation>(client, model, streaming, OllamaServer());
  if (!conversation->Open()) return nullptr;
  auto session = std::make_shared<COPILOT_SESSION>();
  session->model = model;
  session->client = client.get();
  session->local = std::move(conversation);
  return session;
}
