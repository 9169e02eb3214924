// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dialog_keys.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace platform {

DialogKeyReader::DialogKeyReader(const ConsoleDialog& dialog) : dialog_(dialog) {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
  struct termios raw = saved_;
  raw.c_lflag &= ~(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  interactive_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

DialogKeyReader::~DialogKeyReader() {
  if (interactive_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

int DialogKeyReader::WaitForButton(std::chrono::milliseconds timeout) {
  if (!interactive_ || dialog_.buttons.empty()) return -1;
  // poll() rather than a blocking read, so the caller regains control on time even when
  // nobody touches the keyboard.
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  int ready = poll(&input, 1, int(timeout.count()));
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  if ((input.revents & POLLIN) == 0) return -1;  // hung up
  unsigned char key = 0;
  ssize_t n = read(STDIN_FILENO, &key, 1);
  if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
  if (n == 0) return -1;
  if (key == 27 && DrainSequence()) return 0;
  for (const DialogButton& button : dialog_.buttons)
    if (std::tolower(key) == std::tolower(button.key)) return button.key;
  if (key == 27 || key == 3 || std::tolower(key) == 'q') return dialog_.buttons.back().key;
  return 0;
}

bool DialogKeyReader::DrainSequence() {
  // An arrow or function key sends Escape and its sequence at once; a lone Escape is a key
  // press of its own and is followed by nothing.
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, 30) <= 0 || (input.revents & POLLIN) == 0) return false;
  char rest[32];
  ssize_t n;
  do n = read(STDIN_FILENO, rest, sizeof rest);
  while (n < 0 && errno == EINTR);
  return true;
}

}  // namespace platform
