// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_ollama.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/child_process.h"

namespace testing_support {
namespace {

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

bool Listening(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

FakeOllama::FakeOllama(const nlohmann::json& scenario) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/fake-ollama-XXXXXX";
  folder_ = mkdtemp(pattern.data());
  std::ofstream(folder_ + "/scenario.json") << (scenario.is_null() ? "{}" : scenario.dump());
  port_ = FreePort();
  server_ = std::make_unique<platform::ChildProcess>(
      std::vector<std::string>{FAKE_OLLAMA, std::to_string(port_), folder_ + "/scenario.json",
                               folder_ + "/log.jsonl"},
      platform::CurrentEnvironment());
  for (int i = 0; i < 200 && !Listening(port_); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

FakeOllama::~FakeOllama() {
  server_.reset();
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
}

std::vector<nlohmann::json> FakeOllama::Requests() const {
  std::vector<nlohmann::json> requests;
  std::ifstream log(folder_ + "/log.jsonl");
  std::string line;
  while (std::getline(log, line)) requests.push_back(nlohmann::json::parse(line, nullptr, false));
  return requests;
}

}  // namespace testing_support
