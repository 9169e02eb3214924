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

std::string Event(const json& event) {
  return MakeFrame(json({{"jsonrpc", "2.0"}, {"method", "session.event"},
                         {"params", {{"sessionId", "s"}, {"event", event}}}}).dump());
}

// A peer that answers every request; session.send streams `deltas` pieces, each stamped with
// the time it was sent, then ends the prompt. Unpaced, the pieces go out as fast as the socket
// takes them. With `strays`, every ping is answered only after that many notifications that
// nobody waits for.
class Peer {
 public:
  explicit Peer(int deltas, bool paced = true, int strays = 0)
      : deltas_(deltas), paced_(paced), strays_(strays) {
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
    if (method == "ping" && strays_ > 0) {
      std::string flood;
      for (int i = 0; i < strays_; ++i)
        flood += Event({{"type", "tool.execution_progress"}, {"data", {{"step", i}}}});
      SendAll(connection_, flood);
    }
    json result = json::object();
    if (method == "models.list") result = {{"models", {{{"id", "m"}, {"name", "M"}}}}};
    if (method == "session.create") result = {{"sessionId", "s"}, {"workspacePath", "/"}};
    SendAll(connection_, MakeFrame(json({{"jsonrpc", "2.0"}, {"id", request["id"]},
                                         {"result", result}}).dump()));
    if (method != "session.send") return;
    if (!paced_) {
      std::string flood;
      for (int i = 0; i < deltas_; ++i)
        flood += Event({{"type", "assistant.message_delta"}, {"data", {{"deltaContent", "x"}}}});
      SendAll(connection_, flood + Event({{"type", "session.idle"}}));
      return;
    }
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
  bool paced_;
  int strays_;
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
  double seconds = 0;
  for (auto _ : state) {
    Peer peer(10000);
    auto client = std::make_shared<COPILOT_RAW>("", uint32_t(peer.Port()), "", 0);
    auto session = CreateSession(*client, "m", nullptr);
    if (!session) {
      state.SkipWithError("no session");
      break;
    }
    auto message = MakeMessage("go", nullptr, [&](std::string& text, uint64_t) {
      long long sent = std::stoll(text);
      delays.push_back(double(Clock::now().time_since_epoch().count() - sent) / 1000.0);
      return 0;
    }, 0, nullptr);
    auto start = Clock::now();
    Send(*client, session, message);
    Wait(*client, session, message);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  // Over every iteration, not the last one alone.
  std::sort(delays.begin(), delays.end());
  if (delays.empty()) return;
  state.counters["median_us"] = delays[delays.size() / 2];
  state.counters["p99_us"] = delays[delays.size() * 99 / 100];
  state.counters["pieces_per_s"] = double(delays.size()) / seconds;
}
BENCHMARK(BM_DeltaToCallback)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// N pieces of one answer, sent as fast as possible: the time per piece must not grow with N.
void BM_DeltaFlood(benchmark::State& state) {
  for (auto _ : state) {
    Peer peer(int(state.range(0)), false);
    auto client = std::make_shared<COPILOT_RAW>("", uint32_t(peer.Port()), "", 0);
    auto session = CreateSession(*client, "m", nullptr);
    if (!session) {
      state.SkipWithError("no session");
      break;
    }
    size_t pieces = 0;
    auto message = MakeMessage("go", nullptr, [&](std::string&, uint64_t) -> int32_t {
      ++pieces;
      return 0;
    },
                               0, nullptr);
    Send(*client, session, message);
    Wait(*client, session, message);
    if (pieces != size_t(state.range(0))) state.SkipWithError("pieces lost");
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DeltaFlood)->RangeMultiplier(10)->Range(1000, 100000)->Iterations(1)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// N notifications nobody waits for ahead of one answer: the time per notification must not
// grow with N.
void BM_StrayNotificationFlood(benchmark::State& state) {
  Peer peer(0, true, int(state.range(0)));
  auto client = std::make_shared<COPILOT_RAW>("", uint32_t(peer.Port()), "", 0);
  if (!client->Connected()) state.SkipWithError("no connection");
  for (auto _ : state) {
    json answer = client->Request({{"jsonrpc", "2.0"}, {"id", client->NextId()}, {"method", "ping"}}, true);
    if (!answer.is_object()) state.SkipWithError("no answer");
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_StrayNotificationFlood)->RangeMultiplier(10)->Range(1000, 100000)->Iterations(1)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
