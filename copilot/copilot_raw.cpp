// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/copilot_raw.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <set>

#include "common/debug.h"
#include "common/peer_json.h"
#include "copilot/framing.h"
#include "copilot/session_protocol.h"
#include "platform/random_id.h"

using nlohmann::json;

namespace {

constexpr auto kConnectPatience = std::chrono::seconds(15);
constexpr auto kConnectRetry = std::chrono::milliseconds(100);
// A CLI that takes the connection and then says nothing is given up on after this.
constexpr auto kHandshakePatience = std::chrono::seconds(30);

// Every client alive, so the end of the program can close one that is still starting. Never
// destroyed: a client released during static destruction must still find it.
std::mutex& ClientsLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::set<COPILOT_RAW*>& Clients() {
  static auto* clients = new std::set<COPILOT_RAW*>;
  return *clients;
}
// Set once the program ends: a client made after that launches nothing.
std::atomic<bool> everyClientClosed{false};

int TryConnect(const std::string& host, uint32_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

COPILOT_RAW::COPILOT_RAW(std::string exePath_, uint32_t port_, const std::string& token,
                         int32_t launchMode_)
    : port(port_), exePath(std::move(exePath_)), launchMode(launchMode_) {
  {
    std::lock_guard guard(ClientsLock());
    Clients().insert(this);
    if (everyClientClosed.load()) closed_.store(true);
  }
  if (closed_.load()) return;
  Launch(token);
  if (launchMode == 0) Connect();
}

COPILOT_RAW::~COPILOT_RAW() {
  {
    std::lock_guard guard(ClientsLock());
    Clients().erase(this);
  }
  // Waking the receive call ends the receive thread; the descriptor is closed only after it.
  if (sock >= 0) shutdown(sock, SHUT_RDWR);
  if (receiver.joinable()) receiver.join();
  if (sock >= 0) close(sock);
  sock = -1;
  if (process) process->Terminate();
}

void COPILOT_RAW::Launch(const std::string& token) {
  if (exePath.empty()) return;
  std::string tokenName = token.empty() ? "" : platform::NewUuid();
  arguments_ = ::LaunchArguments(exePath, tokenName, int(port), launchMode);
  std::vector<std::string> environment = platform::CurrentEnvironment();
  if (!token.empty()) environment.push_back(tokenName + "=" + token);
  // Without this secret the CLI would take commands from any local user through the port.
  connectionSecret_ = platform::RandomHex(32);
  environment.push_back("COPILOT_CONNECTION_TOKEN=" + connectionSecret_);
  process = std::make_unique<platform::ChildProcess>(arguments_, environment);
}

void COPILOT_RAW::Connect() {
  auto deadline = std::chrono::steady_clock::now() + kConnectPatience;
  while (!closed_.load()) {
    sock = TryConnect(host, port);
    if (closed_.load() && sock >= 0) shutdown(sock, SHUT_RDWR);  // closed while connecting
    if (sock >= 0) {
      connected_.store(true);
      receiver = std::thread([this] { ReceiveLoop(); });
      Handshake outcome = ShakeHands();
      if (outcome == Handshake::Accepted) return;
      Disconnect();
      if (outcome == Handshake::Refused) {
        common::DebugLine("copilot: the CLI refused the connection handshake");
        return;
      }
      if (outcome == Handshake::Unanswered) {
        std::lock_guard guard(failureLock_);
        failure_ = "Copilot did not answer the connection handshake within 30 seconds.";
        return;
      }
      // A CLI that is still starting may drop a connection it took; the next one holds.
    }
    // There is no point waiting for a CLI that has exited.
    if (!process || !process->Running() || std::chrono::steady_clock::now() >= deadline) return;
    std::unique_lock pause(closeLock_);
    closeWake_.wait_for(pause, kConnectRetry, [this] { return closed_.load(); });
  }
}

void COPILOT_RAW::Close() {
  {
    std::lock_guard guard(closeLock_);
    closed_.store(true);
  }
  closeWake_.notify_all();
  int fd = sock.load();
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void CloseEveryClient() {
  std::lock_guard guard(ClientsLock());
  everyClientClosed.store(true);
  for (COPILOT_RAW* client : Clients()) client->Close();
}

void COPILOT_RAW::Disconnect() {
  shutdown(sock, SHUT_RDWR);
  receiver.join();
  close(sock);
  sock = -1;
  connected_.store(false);
}

COPILOT_RAW::Handshake COPILOT_RAW::ShakeHands() {
  json answer = Request({{"jsonrpc", "2.0"}, {"id", NextId()}, {"method", "connect"},
                         {"params", {{"token", connectionSecret_}}}},
                        true, kHandshakePatience);
  if (answer.is_null() && connected_.load() && !closed_.load()) return Handshake::Unanswered;
  if (!answer.is_object()) return Handshake::Dropped;
  if (answer.contains("result")) return Handshake::Accepted;
  common::DebugLine("copilot: handshake answered " + answer.dump());
  // An older CLI without the handshake is used as it is.
  const json& error = answer.value("error", json::object());
  bool unknownMethod = error.is_object() && error.value("code", 0) == -32601;
  return unknownMethod ? Handshake::Accepted : Handshake::Refused;
}

std::string COPILOT_RAW::NextId() { return std::to_string(nextId.fetch_add(1)); }

bool COPILOT_RAW::SendFrame(const std::string& frame) {
  std::lock_guard guard(sendLock);  // frames from several threads stay whole
  size_t sent = 0;
  while (sent < frame.size()) {
    ssize_t n = send(sock, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

bool COPILOT_RAW::TakeAnswer(const json& id, std::string& answer) {
  std::string wanted = id.dump();
  for (auto entry = inbox.begin(); entry != inbox.end(); ++entry) {
    if (entry->id != wanted) continue;
    answer = std::move(entry->body);
    inboxBytes_ -= answer.size();
    inbox.erase(entry);
    return true;
  }
  return false;
}

std::string COPILOT_RAW::Failure() const {
  std::lock_guard guard(failureLock_);
  return failure_;
}

json COPILOT_RAW::Request(const json& message, bool wait,
                          std::optional<std::chrono::milliseconds> patience) {
  std::string frame = MakeFrame(message.dump());
  if (!wait) {
    if (sock >= 0) SendFrame(frame);
    return nullptr;
  }
  json id = message.value("id", json());
  std::lock_guard waiting(waitLock);
  std::unique_lock queue(queueLock);
  // Named before the answer can arrive, so that a flood cannot push it out of the inbox.
  awaited_ = id.dump();
  struct Forget {
    std::string& awaited;
    ~Forget() { awaited.clear(); }
  } forget{awaited_};
  queue.unlock();
  if (sock >= 0) SendFrame(frame);
  queue.lock();
  if (!connected_.load()) return nullptr;
  std::string answer;
  auto deadline = std::chrono::steady_clock::now() + patience.value_or(std::chrono::milliseconds(0));
  for (;;) {
    if (TakeAnswer(id, answer)) return json::parse(answer, nullptr, false);
    if (!connected_.load()) return nullptr;
    uint64_t seen = arrivals_;
    auto changed = [&] { return arrivals_ != seen || !connected_.load(); };
    if (!patience) {
      arrived.wait(queue, changed);
    } else if (!arrived.wait_until(queue, deadline, changed)) {
      return nullptr;
    }
  }
}

void COPILOT_RAW::ClearInbox() {
  std::lock_guard queue(queueLock);
  inbox.clear();
  inboxBytes_ = 0;
}

void COPILOT_RAW::Append(const json& message, const std::string& body) {
  std::lock_guard queue(queueLock);
  std::string id = message.is_object() && message.contains("id") ? message["id"].dump() : "";
  inbox.push_back({std::move(id), body});
  inboxBytes_ += body.size();
  DropOldest();
  ++arrivals_;
  arrived.notify_all();
}

// Notifications nobody waits for would otherwise pile up for as long as the CLI sends them.
void COPILOT_RAW::DropOldest() {
  auto entry = inbox.begin();
  while ((inbox.size() > kInboxEntries || inboxBytes_ > kInboxBytes) && entry != inbox.end()) {
    if (!awaited_.empty() && entry->id == awaited_) {
      ++entry;
      continue;
    }
    inboxBytes_ -= entry->body.size();
    entry = inbox.erase(entry);
  }
}

void COPILOT_RAW::ReceiveLoop() {
  std::string buffer;
  std::vector<std::string> bodies;
  char chunk[4096];
  for (;;) {
    ssize_t n = recv(sock, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    buffer.append(chunk, size_t(n));
    bodies.clear();
    bool trusted = ExtractFrames(buffer, bodies);
    bool goodBodies = true;
    for (const std::string& body : bodies) {
      // A closed client reads no further: what a flood left in the socket is not our concern.
      if (closed_.load()) break;
      if (!(goodBodies = Dispatch(body))) break;
    }
    if (closed_.load()) break;
    if (!trusted || !goodBodies) {
      common::DebugLine(trusted ? "copilot: unreadable message, connection dropped"
                                : "copilot: bad frame length, connection dropped");
      break;
    }
  }
  common::DebugLine("copilot: connection ended");
  EndOfConnection();
}

void COPILOT_RAW::EndOfConnection() {
  std::lock_guard queue(queueLock);
  connected_.store(false);
  FailInFlight(*this);
  FinishQueued(nullptr);
  arrived.notify_all();
}

void COPILOT_RAW::FinishQueued(const std::shared_ptr<COPILOT_SESSION>& session) {
  std::lock_guard queue(queueLock);
  if (session) {
    FinishQueuedPrompts(*session);
  } else {
    for (const auto& each : sessions) FinishQueuedPrompts(*each);
  }
  arrived.notify_all();
}

// Returns false for a body that is not JSON or holds a value of the wrong type: the stream
// is no longer trusted.
bool COPILOT_RAW::Dispatch(const std::string& received) {
  std::lock_guard queue(queueLock);
  try {
    // A stray byte or half a surrogate pair costs one character, never the connection.
    bool standIns = false;
    std::string body = common::RepairJsonText(received, standIns);
    json message = json::parse(body);
    if (standIns) {
      json settled = message;
      SettleStandIns(settled, false);
      body = settled.dump();
      SettleStandIns(message, true);
    }
    std::string method = message.is_object() ? message.value("method", "") : "";
    if (method == "tool.call") {
      HandleToolCall(*this, message);
    } else if (method == "userInput.request") {
      HandleUserInputRequest(*this, message);
      return true;
    } else if (method == "permission.request") {
      if (message.contains("id"))
        Request({{"jsonrpc", "2.0"}, {"id", message["id"]},
                 {"result", {{"result", {{"kind", "approved"}}}}}},
                false);
      return true;
    } else if (method == "session.event" && message.contains("params") &&
               message["params"].contains("event") &&
               message["params"]["event"].contains("type")) {
      if (HandleSessionEvent(*this, message, body)) return true;
    }
    Append(message, body);
    return true;
  } catch (const std::exception& error) {
    common::DebugLine(std::string("copilot: ") + error.what() + " in " + received.substr(0, 200));
    return false;
  }
}
