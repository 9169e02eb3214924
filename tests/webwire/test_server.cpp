// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace webwire_test {

test_server::test_server(std::unique_ptr<httplib::Server> server) : server_(std::move(server)) {
  // Short keep-alive, so stopping never waits long for an idle connection.
  server_->set_keep_alive_timeout(1);
  server_->set_tcp_nodelay(true);
}

bool test_server::Start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  // The socket already listens; connections made before the thread runs wait in the backlog.
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() does nothing before the loop runs, which would leave Stop joining for ever.
  for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return server_->is_running();
}

void test_server::Stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

namespace {

std::size_t SizeParameter(const httplib::Request& request) {
  return request.has_param("size") ? std::stoul(request.get_param_value("size")) : 0;
}

}  // namespace

routed_server::routed_server() {
  httplib::Server& server = http();
  server.Get("/sized", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(Pattern(SizeParameter(request)), "application/octet-stream");
  });
  server.Get("/chunked", [](const httplib::Request& request, httplib::Response& response) {
    auto body = std::make_shared<std::string>(Pattern(SizeParameter(request)));
    response.set_chunked_content_provider(
        "application/octet-stream", [body](std::size_t offset, httplib::DataSink& sink) {
          const std::size_t piece = std::min<std::size_t>(3000, body->size() - offset);
          if (piece > 0) sink.write(body->data() + offset, piece);
          if (offset + piece == body->size()) sink.done();
          return true;
        });
  });
  auto echo = [this](const httplib::Request& request, httplib::Response& response) {
    {
      std::lock_guard lock(mutex_);
      last_ = {request.method, request.body, request.headers};
    }
    response.status = 201;
    response.set_content(request.body, "text/plain");
  };
  server.Post("/echo", echo);
  server.Put("/echo", echo);
  server.Get("/echo", echo);
  server.Get(R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
    response.status = std::stoi(request.matches[1]);
    response.set_content("status " + std::string(request.matches[1]), "text/plain");
  });
  server.Get("/port", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(std::to_string(request.remote_port), "text/plain");
  });
  server.Get("/redirect", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/sized?size=10");
  });
  server.Post("/stall", [this](const httplib::Request&, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, std::chrono::seconds(5), [this] { return release_; });
    response.set_content("late", "text/plain");
  });
}

received routed_server::Last() {
  std::lock_guard lock(mutex_);
  return last_;
}

void routed_server::Release() {
  {
    std::lock_guard lock(mutex_);
    release_ = true;
  }
  released_.notify_all();
}

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return text;
}

}  // namespace webwire_test
