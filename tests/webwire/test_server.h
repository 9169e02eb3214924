// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace webwire_test {

/// An HTTP server on 127.0.0.1 and an ephemeral port, answering on a thread of its own
/// between Start and Stop.
class test_server {
 public:
  explicit test_server(
      std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>());
  ~test_server() { Stop(); }
  test_server(const test_server&) = delete;
  test_server& operator=(const test_server&) = delete;

  httplib::Server& http() { return *server_; }
  /// Binds and starts answering; false when no port could be bound.
  bool Start();
  void Stop();
  int port() const { return port_; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
};

/// What the server saw of the last request to "/echo".
struct received {
  std::string method;
  std::string body;
  httplib::Headers headers;
};

/// A test_server with the routes the client tests use:
///   GET  /sized?size=N    N pattern bytes with a Content-Length
///   GET  /chunked?size=N  N pattern bytes, chunked, without a length
///   any  /echo            records the request, answers 201 with its body
///   GET  /status/N        status N with the body "status N"
///   GET  /port            the client's port number: equal numbers mean one connection
///   GET  /redirect        302 to /sized?size=10
///   POST /stall           answers only after Release(), or after 5 s
class routed_server : public test_server {
 public:
  routed_server();
  ~routed_server() {
    Release();
    Stop();
  }
  received Last();
  void Release();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
  received last_;
};

/// A loopback port on which nothing listens (bound once, then released).
int UnusedPort();

/// `size` bytes of a repeating, position-dependent pattern.
std::string Pattern(std::size_t size);

}  // namespace webwire_test
