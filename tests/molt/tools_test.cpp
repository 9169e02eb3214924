// SPDX-License-Identifier: GPL-3.0-or-later
// molt-publish and molt-server as shipped: keys, a signed release, a server process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "molt/list_signature.h"
#include "molt/molter.h"
#include "tests/molt/test_files.h"

extern char** environ;

namespace molt_test {
namespace {

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// molt-server with its standard output in a file, stopped with SIGTERM.
class ServerProcess {
 public:
  ServerProcess(const std::filesystem::path& publish, int port, const std::filesystem::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string portText = std::to_string(port);
    const char* argv[] = {MOLT_SERVER, publish.c_str(), "--port", portText.c_str(), nullptr};
    posix_spawn(&pid_, MOLT_SERVER, &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ServerProcess() { Stop(); }
  /// The exit status, or -1.
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = 0;
};

TEST(MoltToolsTest, ASignedReleaseServedByMoltServerUpdatesAnInstallation) {
  TempFolder temp;
  const auto key = temp.path() / "key.pem";
  const std::string publicKey =
      ProgramOutput(std::string(MOLT_PUBLISH) + " --new-key " + key.string());
  ASSERT_EQ(publicKey.size(), 65u) << publicKey;
  EXPECT_EQ(ProgramOutput(std::string(MOLT_PUBLISH) + " --public-key " + key.string()), publicKey);

  const Molt::Bytes changed = RandomBytes(200000, 1);
  WriteFile(temp.path() / "release/tessary", changed);
  WriteFile(temp.path() / "install/tessary", RandomBytes(200000, 2));
  const std::string publish = std::string(MOLT_PUBLISH) + " --key " + key.string() + " " +
                              (temp.path() / "release").string() + " " +
                              (temp.path() / "publish").string();
  ASSERT_EQ(std::system(publish.c_str()), 0);

  const int port = FreePort();
  const auto log = temp.path() / "server.log";
  ServerProcess server(temp.path() / "publish", port, log);
  for (int i = 0; i < 100 && ReadText(log).find("answering") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  {
    // Gone before the server stops, with its connection.
    Molt::Molter molter(temp.path() / "install", {},
                        "http://127.0.0.1:" + std::to_string(port) + "/molter/molter.php",
                        *Molt::ReadPublicKey(publicKey.substr(0, 64)));
    EXPECT_EQ(molter.Run(nullptr), Molt::kUpdated);
  }
  EXPECT_EQ(ReadFile(temp.path() / "install/tessary"), changed);
  EXPECT_EQ(server.Stop(), 0);

  std::istringstream lines(ReadText(log));
  std::vector<std::string> requests;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("answering") == std::string::npos) requests.push_back(line);
  }
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[0].find("GET hashes 200 "), std::string::npos) << requests[0];
  EXPECT_NE(requests[2].find("POST patch 200 "), std::string::npos) << requests[2];
  for (const std::string& line : requests) EXPECT_TRUE(line.ends_with(" bytes")) << line;
}

}  // namespace
}  // namespace molt_test
