// SPDX-License-Identifier: GPL-3.0-or-later
// How tessary ends: a closed terminal, signals, a CLI that stops talking, /exit at any moment.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/fake_copilot.h"

namespace {

using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

constexpr char kSignedIn[] = "\x1b[32m[AI] ";
constexpr char kHeldAnswer[] = R"([[{"event": "assistant.message_delta",
                                     "data": {"deltaContent": "streaming"}}, {"hold": true}]])";

// True while the process runs (a zombie has ended).
bool Alive(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

// Waits a while for every CLI the fake saw started to end; true when none is left.
bool NoCliLeft(const FakeCopilot& fake) {
  for (int i = 0; i < 100; ++i) {
    bool any = false;
    for (const json& start : fake.Starts()) any = any || Alive(start["pid"].get<int>());
    if (!any) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

class LifetimeTest : public ::testing::Test {
 protected:
  void Start(json scenario, PtySession::Options options = {}) {
    fake_ = std::make_unique<FakeCopilot>(scenario);
    for (const auto& [name, value] : fake_->Environment()) options.environment[name] = value;
    run_ = std::make_unique<PtySession>(std::vector<std::string>{TessaryPath()}, options);
    ASSERT_TRUE(run_->WaitFor(kSignedIn));
    ASSERT_FALSE(fake_->Starts().empty());
    run_->Mark();
  }
  void StartAnswer() {
    run_->Type("go on\r");
    ASSERT_TRUE(run_->WaitFor("streaming"));
  }
  int Aborts() {
    int count = 0;
    for (const json& r : fake_->Received()) count += r.value("method", "") == "session.abort";
    return count;
  }

  std::unique_ptr<FakeCopilot> fake_;
  std::unique_ptr<PtySession> run_;
};

TEST_F(LifetimeTest, AClosedTerminalEndsTessaryIdleOrMidAnswer) {
  for (bool owner : {true, false}) {
    for (bool midAnswer : {false, true}) {
      SCOPED_TRACE(std::string(owner ? "owns" : "does not own") + " the terminal, " +
                   (midAnswer ? "mid-answer" : "idle"));
      PtySession::Options options;
      options.controllingTerminal = owner;
      Start({{"answers", json::parse(kHeldAnswer)}}, options);
      if (midAnswer) StartAnswer();
      run_->CloseTerminal();
      EXPECT_TRUE(run_->WaitForExit(3s).has_value());
      EXPECT_TRUE(NoCliLeft(*fake_));
    }
  }
}

TEST_F(LifetimeTest, TerminateAndHangUpEndTessaryMidAnswer) {
  for (int signo : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signo));
    Start({{"answers", json::parse(kHeldAnswer)}});
    StartAnswer();
    run_->Signal(signo);
    EXPECT_EQ(run_->WaitForExit(3s), 128 + signo);
    EXPECT_EQ(Aborts(), 1);
    EXPECT_TRUE(NoCliLeft(*fake_));
  }
}

TEST_F(LifetimeTest, KillingTessaryEndsTheCli) {
  Start({{"answers", json::parse(kHeldAnswer)}});
  StartAnswer();
  run_->Signal(SIGKILL);
  EXPECT_EQ(run_->WaitForExit(3s), 128 + SIGKILL);
  EXPECT_TRUE(NoCliLeft(*fake_));
}

TEST_F(LifetimeTest, ACliThatNeverConfirmsTheAbortLosesThePromptAndIsReplaced) {
  Start({{"answers", json::parse(R"([[{"event": "assistant.message_delta",
                                         "data": {"deltaContent": "streaming"}},
                                        {"stall": true}]])")}});
  StartAnswer();
  run_->Type("\x03");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mCopilot did not answer the abort.\x1b[0m", 5s));
  // What arrived is kept as the answer.
  EXPECT_TRUE(run_->WaitFor("Response 1 done"));
  for (int i = 0; i < 250 && fake_->Starts().size() < 2; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(fake_->Starts().size(), 2u);
  run_->Type("/exit\r");
  EXPECT_EQ(run_->WaitForExit(), 0);
  EXPECT_TRUE(NoCliLeft(*fake_));
}

TEST_F(LifetimeTest, InvalidUtf8ReachesTheCliRepaired) {
  PtySession::Options options;
  options.environment["LANG"] = "C.UTF-8";
  Start(json::object(), options);
  // Readline used to drop a byte that starts a sequence nothing completes.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"caf\xff", "caf\xef\xbf\xbd"},
      {"caf\xe9", "caf\xef\xbf\xbd"},
      {"\xe9t\xc3\xa9", "\xef\xbf\xbdt\xc3\xa9"},
      {"a\xf0\x9f\x98z", "a\xef\xbf\xbdz"},
      {"\xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x82\xac \xf0\x9f\x98\x80"},
  };
  std::vector<json> expected;
  for (size_t i = 0; i < cases.size(); ++i) {
    run_->Type(cases[i].first + "\r");
    ASSERT_TRUE(run_->WaitFor("Response " + std::to_string(i + 1) + " done"));
    expected.push_back(cases[i].second);
  }
  std::vector<json> prompts;
  for (const json& r : fake_->Received())
    if (r.value("method", "") == "session.send") prompts.push_back(r["params"]["prompt"]);
  EXPECT_EQ(prompts, expected);
  run_->Type("/exit\r");
  EXPECT_EQ(run_->WaitForExit(), 0);
}

TEST_F(LifetimeTest, AFatalSignalLeavesTheTerminalAsItWas) {
  for (int signo : {SIGSEGV, SIGABRT, SIGBUS}) {
    SCOPED_TRACE(strsignal(signo));
    Start(json::object());
    std::optional<termios> editing = run_->TerminalSettings();
    ASSERT_TRUE(editing.has_value());
    ASSERT_FALSE(editing->c_lflag & ICANON) << "the line editor has the terminal";
    run_->Signal(signo);
    ASSERT_TRUE(run_->WaitForExit(10s).has_value());
    std::optional<termios> after = run_->TerminalSettings();
    ASSERT_TRUE(after.has_value());
    EXPECT_TRUE(after->c_lflag & ICANON);
    EXPECT_TRUE(after->c_lflag & ECHO);
    EXPECT_TRUE(after->c_lflag & ISIG);
    const std::string& output = run_->Output();
    size_t pasteOn = output.rfind("\x1b[?2004h");
    ASSERT_NE(pasteOn, std::string::npos);
    EXPECT_NE(output.find("\x1b[?2004l", pasteOn), std::string::npos);
    EXPECT_TRUE(NoCliLeft(*fake_));
  }
}

// A peer that takes connections and never says a word.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 16);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(LifetimeExitTest, ASilentOllamaHoldsUpThePromptsColourOnlyBriefly) {
  SilentServer ollama;
  FakeCopilot fake(json::object());
  PtySession::Options options = fake.Options();
  options.environment["OLLAMA_HOST"] = ollama.Host();
  PtySession run({TessaryPath()}, options);
  // The model listing gives up after 5 s in all (it waited 600 s before).
  EXPECT_TRUE(run.WaitFor(kSignedIn, 15s));
  run.Type("/exit\r");
  EXPECT_EQ(run.WaitForExit(), 0);
}

TEST(LifetimeExitTest, ExitRightAfterStartWaitsForNothing) {
  SilentServer ollama;
  std::string home = testing_support::TestHome() + "/fifo-home";
  std::filesystem::create_directories(home + "/tessary");
  std::string credentials = home + "/tessary/credentials";
  std::filesystem::remove(credentials);
  ASSERT_EQ(mkfifo(credentials.c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::map<std::string, std::string> environment;
  } cases[] = {
      {"an Ollama that never answers", {{"OLLAMA_HOST", ollama.Host()}}},
      {"a credential file that is a FIFO", {{"XDG_CONFIG_HOME", home}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCopilot fake(json::object());
    PtySession::Options options = fake.Options();
    for (const auto& [name, value] : c.environment) options.environment[name] = value;
    PtySession run({TessaryPath()}, options);
    ASSERT_TRUE(run.WaitFor("[AI] "));
    std::this_thread::sleep_for(300ms);
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(3s), 0);
    EXPECT_TRUE(NoCliLeft(fake));
  }
  std::filesystem::remove_all(home);
}

// Keeps the first core busy, as a loaded machine does.
class BusyCore {
 public:
  BusyCore() {
    thread_ = std::thread([this] {
      cpu_set_t first;
      CPU_ZERO(&first);
      CPU_SET(0, &first);
      pthread_setaffinity_np(pthread_self(), sizeof first, &first);
      while (!stop_) {
      }
    });
  }
  ~BusyCore() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// /exit typed while the CLI is still being started: the CLI's group may not exist yet.
TEST(LifetimeExitTest, ExitDuringStartUpOnABusyCoreEnds) {
  BusyCore busy;
  for (int i = 0; i < 25; ++i) {
    SCOPED_TRACE("try " + std::to_string(i));
    FakeCopilot fake(json::object());
    PtySession run({"/usr/bin/taskset", "-c", "0", TessaryPath()}, fake.Options());
    std::this_thread::sleep_for(100ms);
    run.Type("/exit\r");
    ASSERT_EQ(run.WaitForExit(10s), 0) << ::testing::PrintToString(run.Output());
    EXPECT_TRUE(NoCliLeft(fake));
  }
}

}  // namespace
