// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/backend.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "copilot/account.h"
#include "copilot/copilot_raw.h"
#include "copilot/extract.h"
#include "copilot/stored_token.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/random_id.h"
#include "shell/session.h"

namespace {

std::mutex threadsLock;
std::vector<std::thread> startupThreads;
std::string savedTokenOption;
platform::LineEditor* savedEditor = nullptr;

// Said once a run, not at every restart of the back-end.
std::atomic<bool> storeProblemShown{false};

void StartBackend(std::string tokenOption, platform::LineEditor* editor) {
  std::string path = CopilotExecutable();
  std::string problem;
  std::string token = tokenOption.empty() ? ReadStoredToken(&problem) : tokenOption;
  if (!problem.empty() && !storeProblemShown.exchange(true))
    platform::ConsoleWriteError("\x1b[31mThe stored sign-in token is not used: " + problem +
                                ".\x1b[0m\r\n");
  // Another program may take the port between the search and the CLI's listen; the CLI then
  // ends at once and the next free port is tried.
  std::shared_ptr<COPILOT_RAW> client;
  int port = 3000;
  for (int attempt = 0; attempt < 3; ++attempt) {
    client = std::make_shared<COPILOT_RAW>(path, FindFreePort(port), token, 0);
    if (client->Connected() || !client->ChildEnded()) break;
    port = int(client->port) + 1;
  }
  // The loop may have ended while the CLI came up; then this client must not outlive it.
  if (quitting.load()) return;
  copilot.store(client);
  SetCopilotStatus(GetStatus(*client));
  statusKnown.store(true, std::memory_order_release);
  if (editor) editor->RequestRedraw();
}

// The thread's top: nothing a peer sends may end the program from here.
void RunStartBackend(std::string tokenOption, platform::LineEditor* editor) {
  try {
    StartBackend(std::move(tokenOption), editor);
  } catch (const std::exception& error) {
    platform::ConsoleWriteError(std::string("\x1b[31m") + error.what() + "\x1b[0m\r\n");
  }
}

}  // namespace

std::string ChooseToken(const std::string& tokenOption) {
  return tokenOption.empty() ? ReadStoredToken() : tokenOption;
}

void StartBackendThread(const std::string& tokenOption, platform::LineEditor* editor) {
  std::lock_guard guard(threadsLock);
  savedTokenOption = tokenOption;
  savedEditor = editor;
  startupThreads.emplace_back(RunStartBackend, tokenOption, editor);
}

void RestartBackendThread() {
  std::lock_guard guard(threadsLock);
  startupThreads.emplace_back(RunStartBackend, savedTokenOption, savedEditor);
}

void JoinBackendThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard guard(threadsLock);
    threads.swap(startupThreads);
  }
  for (std::thread& thread : threads) thread.join();
}

int RunInteractiveCli(const std::string& tokenOption) {
  std::string path = CopilotExecutable();
  std::string token = ChooseToken(tokenOption);
  std::string tokenName = token.empty() ? "" : platform::NewUuid();
  std::vector<std::string> args = LaunchArguments(path, tokenName, 0, 100);
  std::vector<std::string> environment = platform::CurrentEnvironment();
  if (!token.empty()) environment.push_back(tokenName + "=" + token);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  // The control signals are blocked here; the CLI must get them as usual.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!path.empty()) execve(path.c_str(), argv.data(), envp.data());
  platform::ConsoleWriteError("\x1b[31mCopilot is not installed.\x1b[0m\n");
  return 1;
}
