// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal.h"

#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

struct termios savedSettings;
bool haveSavedSettings = false;

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void SaveTerminalSettings() {
  haveSavedSettings = tcgetattr(STDIN_FILENO, &savedSettings) == 0;
}

void RestoreTerminalSettings() {
  if (haveSavedSettings) tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
}

}  // namespace platform
