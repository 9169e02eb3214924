// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console_dialog.h"

#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/console.h"

namespace platform {
namespace {

// One key from the terminal, without echo or line buffering.
int ReadKey() {
  struct termios saved, raw;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return -1;
  raw = saved;
  raw.c_lflag &= ~(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  unsigned char key = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &key, 1);
  while (n < 0 && errno == EINTR);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return n == 1 ? key : -1;
}

}  // namespace

std::string TerminalLink(const std::string& text, const std::string& target) {
  return "\x1b]8;;" + target + "\x1b\\" + text + "\x1b]8;;\x1b\\";
}

std::string RenderDialog(const ConsoleDialog& dialog) {
  const std::string rule = "\x1b[36m" + std::string(60, '=') + "\x1b[0m\r\n";
  std::string out = "\r\n" + rule + "\x1b[1m" + dialog.title + "\x1b[0m\r\n";
  if (!dialog.instruction.empty()) out += "\x1b[33m" + dialog.instruction + "\x1b[0m\r\n";
  out += "\r\n" + dialog.content;
  if (!dialog.content.empty() && dialog.content.back() != '\n') out += "\r\n";
  if (!dialog.footer.empty()) {
    out += "\r\n";
    for (const std::string& piece : dialog.footer) {
      if (!piece.empty() && piece[0] == '\x01') {
        size_t index = size_t(std::stoul(piece.substr(1)));
        if (index < dialog.links.size())
          out += TerminalLink(dialog.links[index].text, dialog.links[index].target);
      } else {
        out += piece;
      }
    }
    out += "\r\n";
  }
  std::string keys;
  for (const DialogButton& button : dialog.buttons)
    keys += "  [" + std::string(1, button.key) + "] " + button.label;
  if (!keys.empty()) out += "\r\n" + keys + "\r\n";
  out += rule;
  return out;
}

char ShowDialog(const ConsoleDialog& dialog) {
  ConsoleWrite(RenderDialog(dialog));
  if (dialog.buttons.empty() || !isatty(STDIN_FILENO)) return 0;
  for (;;) {
    int key = ReadKey();
    if (key < 0) return 0;
    for (const DialogButton& button : dialog.buttons)
      if (std::tolower(key) == std::tolower(button.key)) return button.key;
    // Every dialog closes on Escape and q as well, so a q typed to leave it is not taken
    // for the start of the next prompt.
    if (key == '\r' || key == '\n' || key == 27 || std::tolower(key) == 'q')
      return dialog.buttons.back().key;
  }
}

}  // namespace platform
