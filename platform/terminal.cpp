// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

struct termios savedSettings;
bool haveSavedSettings = false;
std::atomic<bool> editorMode{false};

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
struct sigaction previousActions[NSIG];

// Only async-signal-safe calls: the process may have died anywhere.
void OnFatalSignal(int signo, siginfo_t* info, void*) {
  int savedErrno = errno;
  RestoreTerminalSettings();
  sigaction(signo, &previousActions[signo], nullptr);
  errno = savedErrno;
  // A fault comes back when the instruction runs again, now to the previous handler (the
  // sanitizers' report, or the default core dump); a sent or raised signal is raised again.
  if (info->si_code <= 0) raise(signo);
}

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void SaveTerminalSettings() {
  haveSavedSettings = tcgetattr(STDIN_FILENO, &savedSettings) == 0;
}

void RestoreTerminalSettings() {
  if (editorMode.exchange(false)) {
    static const char kPasteOff[] = "\x1b[?2004l";
    [[maybe_unused]] ssize_t n = write(STDOUT_FILENO, kPasteOff, sizeof kPasteOff - 1);
  }
  if (haveSavedSettings) tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
}

void NoteLineEditorTerminal(bool inEditorMode) { editorMode = inEditorMode; }

void RestoreTerminalOnEveryEnd() {
  std::atexit([] { RestoreTerminalSettings(); });
  struct sigaction action = {};
  action.sa_sigaction = &OnFatalSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  for (int signo : kFatalSignals) sigaction(signo, &action, &previousActions[signo]);
}

}  // namespace platform
