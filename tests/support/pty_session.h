// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

using namespace std::chrono_literals;

/// Runs a program on a pseudo-terminal, types at it and reads what it prints.
class PtySession {
 public:
  struct Options {
    std::map<std::string, std::string> environment;  // added to (or replacing) ours
    std::string workingDirectory;
    bool stdinIsTerminal = true;  // false: standard input is a pipe fed by Type()
    // false: the program runs on the terminal without owning it, as under a shell that keeps
    // it, so closing the terminal sends it no SIGHUP.
    bool controllingTerminal = true;
  };

  PtySession(const std::vector<std::string>& argv, const Options& options);
  explicit PtySession(const std::vector<std::string>& argv) : PtySession(argv, Options{}) {}
  ~PtySession();  // kills the program if it still runs
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  void Type(std::string_view keys);
  /// Closes the input pipe (only when stdinIsTerminal is false).
  void CloseInput();
  /// Closes the terminal's master side, as closing a terminal window does.
  void CloseTerminal();
  void Signal(int signo);

  /// Waits until `text` appears in the output after the mark; true when it did in time.
  bool WaitFor(std::string_view text, std::chrono::milliseconds timeout = 20s);
  /// Later waits only look at output that arrives after this call.
  void Mark();
  /// Reads for `duration` and returns what arrived after the mark.
  std::string Settle(std::chrono::milliseconds duration = 300ms);

  /// Everything printed so far, and what was printed after the mark.
  const std::string& Output() const { return output_; }
  std::string OutputSinceMark() const { return output_.substr(mark_); }

  /// Waits for the program to end; its exit code, or 128 + signal, or nothing on time-out.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = 10s);
  pid_t Pid() const { return pid_; }
  /// The terminal's settings as the program left them (also after it ended).
  std::optional<struct termios> TerminalSettings() const;
  bool Running();

 private:
  bool ReadSome(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int master_ = -1;
  int inputPipe_ = -1;
  std::string output_;
  size_t mark_ = 0;
  std::optional<int> exitCode_;
};

/// Where the build put the tessary executable (given to the tests by CMake).
std::string TessaryPath();

/// The home folder every tessary under test runs with.
std::string TestHome();

/// Processes whose command line contains `text`.
std::vector<int> ProcessesRunning(const std::string& text);

}  // namespace testing_support
