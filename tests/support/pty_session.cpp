// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

extern char** environ;

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

// The child's environment: ours, then the test's own settings, then what the test asks for.
std::vector<std::string> ChildEnvironment(const PtySession::Options& options) {
  std::map<std::string, std::string> values;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    size_t equals = entry.find('=');
    if (equals != std::string::npos) values[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  // Every run shares one home, so the real CLI unpacks itself once per suite, and nothing
  // reaches the real user's files. No back-end unless the test names one.
  std::string home = TESSARY_TEST_HOME;
  values["TERM"] = "xterm-256color";
  values["INPUTRC"] = "/dev/null";
  values["HOME"] = home;
  values["XDG_DATA_HOME"] = home + "/.local/share";
  values["XDG_CONFIG_HOME"] = home + "/.config";
  values["TESSARY_COPILOT_CLI"] = "/nonexistent/copilot";
  values["OLLAMA_HOST"] = "127.0.0.1:1";  // nothing listens there
  for (const auto& [name, value] : options.environment) values[name] = value;
  std::vector<std::string> entries;
  for (const auto& [name, value] : values) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Runs in the forked child of a process that has threads: only calls that are safe there (no
// allocation), everything else was prepared before the fork.
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, const char* folder,
                            int inputRead, bool controllingTerminal) {
  if (!controllingTerminal) {
    // Giving the terminal up as session leader sends SIGHUP to ourselves: not wanted here.
    signal(SIGHUP, SIG_IGN);
    ioctl(STDIN_FILENO, TIOCNOTTY);
    signal(SIGHUP, SIG_DFL);
  }
  // Tests compare the bytes the program wrote, so the terminal must not turn \n into \r\n.
  struct termios settings;
  if (tcgetattr(STDOUT_FILENO, &settings) == 0) {
    settings.c_oflag &= ~OPOST;
    tcsetattr(STDOUT_FILENO, TCSANOW, &settings);
  }
  if (inputRead >= 0) dup2(inputRead, STDIN_FILENO);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (folder[0] != '\0' && chdir(folder) != 0) _exit(126);
  execve(argv[0], argv, envp);
  _exit(127);
}

// Escapes and control characters made visible.
std::string Printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n\n";
    } else if (c < 0x20 || c == 0x7f) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      out += code;
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace

PtySession::PtySession(const std::vector<std::string>& argv, const Options& options) {
  int pipeFds[2] = {-1, -1};
  if (!options.stdinIsTerminal && pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> arguments = argv;
  std::vector<std::string> environment = ChildEnvironment(options);
  std::vector<char*> args = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);
  struct winsize size = {40, 120, 0, 0};
  pid_ = forkpty(&master_, nullptr, nullptr, &size);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) {
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    ExecChild(args.data(), envp.data(), options.workingDirectory.c_str(), pipeFds[0],
              options.controllingTerminal);
  }
  if (pipeFds[0] >= 0) close(pipeFds[0]);
  inputPipe_ = pipeFds[1];
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtySession::~PtySession() {
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitForExit(5s);
  }
  if (inputPipe_ >= 0) close(inputPipe_);
  if (master_ >= 0) close(master_);
}

void PtySession::Type(std::string_view keys) {
  int fd = inputPipe_ >= 0 ? inputPipe_ : master_;
  size_t done = 0;
  while (done < keys.size()) {
    ssize_t n = write(fd, keys.data() + done, keys.size() - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
}

void PtySession::CloseInput() {
  if (inputPipe_ >= 0) close(inputPipe_);
  inputPipe_ = -1;
}

void PtySession::CloseTerminal() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtySession::Signal(int signo) { kill(pid_, signo); }

bool PtySession::ReadSome(std::chrono::milliseconds timeout) {
  if (master_ < 0) {
    usleep(std::chrono::microseconds(timeout).count());
    return false;
  }
  struct pollfd fd = {master_, POLLIN, 0};
  if (poll(&fd, 1, int(timeout.count())) <= 0) return false;
  char buffer[4096];
  ssize_t n = read(master_, buffer, sizeof buffer);
  if (n <= 0) {
    // The program closed the terminal: nothing more will come.
    if (n < 0 && errno == EAGAIN) return false;
    usleep(10000);
    return false;
  }
  output_.append(buffer, size_t(n));
  return true;
}

bool PtySession::WaitFor(std::string_view text, std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (output_.find(text, mark_) != std::string::npos) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      // The screen is what tells why; a failing test shows it.
      std::fprintf(stderr, "Waited in vain for %s (the program %s)\nThe screen after the mark:\n%s\n",
                   Printable(text).c_str(), Running() ? "still runs" : "has ended",
                   Printable(OutputSinceMark()).c_str());
      return false;
    }
    ReadSome(std::min(left, std::chrono::milliseconds(50)));
  }
}

void PtySession::Mark() {
  while (ReadSome(std::chrono::milliseconds(0))) {
  }
  mark_ = output_.size();
}

std::string PtySession::Settle(std::chrono::milliseconds duration) {
  auto deadline = Clock::now() + duration;
  while (Clock::now() < deadline) ReadSome(std::chrono::milliseconds(20));
  return OutputSinceMark();
}

bool PtySession::Running() {
  if (exitCode_) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  if (done == pid_) exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

std::optional<int> PtySession::WaitForExit(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (Running()) {
    if (Clock::now() >= deadline) return std::nullopt;
    ReadSome(std::chrono::milliseconds(20));
  }
  while (ReadSome(std::chrono::milliseconds(0))) {
  }
  return exitCode_;
}

std::optional<struct termios> PtySession::TerminalSettings() const {
  // The program's side of the terminal, which keeps its settings after the program ended.
  const char* name = master_ >= 0 ? ptsname(master_) : nullptr;
  int fd = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  if (fd < 0) return std::nullopt;
  struct termios settings;
  bool read = tcgetattr(fd, &settings) == 0;
  close(fd);
  return read ? std::optional<struct termios>(settings) : std::nullopt;
}

std::string TestHome() { return TESSARY_TEST_HOME; }

std::vector<int> ProcessesRunning(const std::string& text) {
  std::vector<int> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(entry.path() / "cmdline");
    std::string cmdline((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) found.push_back(std::stoi(name));
  }
  return found;
}

std::string TessaryPath() {
  // Another build of tessary can be tried against the same tests, an older one for instance.
  if (const char* other = getenv("TESSARY_UNDER_TEST"); other && *other) return other;
#ifdef TESSARY_EXE
  return TESSARY_EXE;
#else
  const char* path = getenv("TESSARY_EXE");
  return path ? path : "tessary";
#endif
}

}  // namespace testing_support
