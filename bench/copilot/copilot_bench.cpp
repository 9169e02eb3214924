// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON-RPC client against an in-process peer on loopback: a request's round trip next to a
// bare socket echo of the same bytes, and how soon streamed pieces reach the answer callback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "copilot/framing.h"
#include "copilot/session_protocol.h"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

int ListenAny(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  listen(fd, 4);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return fd;
}

void SendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += size_t(n);
  }
}

// A peer that answers every request; session.send streams `deltas` pieces, each stamped with
// the time it was sent, then ends the prompt.
class Peer {
 public:
  explicit Peer(int deltas) : deltas_(deltas) {
    listener_ = ListenAny(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Peer() {
    shutdown(listener_, SHUT_RDWR);
    if (connection_ >= 0) shutdown(connection_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  int Port() const { return port_; }

 private:
  void Answer(const json& request) {
    std::string method = request.value("method", "");
    json result = json::object();
    if (method == "models.list") result = {{"models", {{{"id", "m"}, {"name", "M"}}}}};
    if (method == "session.create") result = {{"sessionId", "s"}, {"workspacePath", "/"}};
    SendAll(connection_, MakeFrame(json({{"jsonrpc", "2.0"}, {"id", request["id"]},
                                         {"result", result}}).dump()));
    if (method != "session.send") return;
    for (int i = 0; i < deltas_; ++i) {
      // Paced like a model writing fast, so the delay measured is ours and not a backlog.
      for (auto next = Clock::now() + std::chrono::microseconds(20); Clock::now() < next;) {
      }
      auto stamp = Clock::now().time_since_epoch().count();
      SendAll(connection_, MakeFrame(json({{"jsonrpc", "2.0"}, {"method", "session.event"},
                                           {"params", {{"sessionId", "s"},
                                                       {"event", {{"type", "assistant.message_delta"},
                                                                  {"data", {{"deltaContent", std::to_string(stamp)}}}}}}}}).dump()));
    }
    SendAll(connection_, MakeFrame(json({{"jsonrpc", "2.0"}, {"method", "session.event"},
                                         {"params", {{"sessionId", "s"},
                                                     {"event", {{"type", "session.idle"}}}}}}).dump()));
  }
  void Serve() {
    connection_ = accept(listener_, nullptr, nullptr);
    if (connection_ < 0) return;
    int one = 1;
    setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string buffer;
    char chunk[65536];
    for (;;) {
      ssize_t n = recv(connection_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      buffer.append(chunk, size_t(n));
      std::vector<std::string> bodies;
      ExtractFrames(buffer, bodies);
      for (const std::string& body : bodies) Answer(json::parse(body));
    }
    close(connection_);
  }

  int deltas_;
  int port_ = 0;
  int listener_ = -1;
  int connection_ = -1;
  std::thread thread_;
};

void BM_RequestRoundTrip(benchmark::State& state) {
  Peer peer(0);
  auto client = std::make_shared<COPILOT_RAW>("", uint32_t(peer.Port()), "", 0);
  if (!client->Connected()) state.SkipWithError("no connection");
  for (auto _ : state) {
    json answer = client->Request({{"jsonrpc", "2.0"}, {"id", client->NextId()}, {"method", "ping"}}, true);
    benchmark::DoNotOptimize(answer);
  }
}
BENCHMARK(BM_RequestRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_SocketEcho(benchmark::State& state) {
  int port = 0;
  int listener = ListenAny(port);
  std::thread echo([listener] {
    int fd = accept(listener, nullptr, nullptr);
    char chunk[4096];
    for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) SendAll(fd, std::string(chunk, size_t(n)));
    close(fd);
  });
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  std::string frame = MakeFrame(R"({"jsonrpc":"2.0","id":"12","method":"ping"})");
  std::string back(frame.size(), '\0');
  for (auto _ : state) {
    SendAll(fd, frame);
    for (size_t got = 0; got < back.size();) got += size_t(recv(fd, back.data() + got, back.size() - got, 0));
  }
  close(fd);
  echo.join();
  close(listener);
}
BENCHMARK(BM_SocketEcho)->UseRealTime()->Unit(benchmark::kMicrosecond);

// 10,000 small pieces: the delay from the peer sending one to the answer callback getting it.
void BM_DeltaToCallback(benchmark::State& state) {
  std::vector<double> delays;
  for (auto _ : state) {
    Peer peer(10000);
    auto client = std::make_shared<COPILOT_RAW>("", uint32_t(peer.Port()), "", 0);
    auto session = CreateSession(*client, "m", nullptr);
    if (!session) {
      state.SkipWithError("no session");
      break;
    }
    delays.clear();
    delays.reserve(10000);
    auto message = MakeMessage("go", nullptr, [&](std::string& text, uint64_t) {
      long long sent = std::stoll(text);
      delays.push_back(double(Clock::now().time_since_epoch().count() - sent) / 1000.0);
      return 0;
    }, 0, nullptr);
    auto start = Clock::now();
    Send(*client, session, message);
    Wait(*client, session, message);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) continue;
    state.counters["median_us"] = delays[delays.size() / 2];
    state.counters["p99_us"] = delays[delays.size() * 99 / 100];
    state.counters["pieces_per_s"] = double(delays.size()) / seconds;
  }
}
BENCHMARK(BM_DeltaToCallback)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
