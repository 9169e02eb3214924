// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/line_editor.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

// readline's headers expect stdio to be included first.
#include <readline/readline.h>

#include "platform/console.h"
#include "platform/terminal.h"
#include "platform/typed_bytes.h"

namespace platform {

struct LineEditorCallbacks {
  static LineEditor* current;
  static std::optional<std::string> line;
  static bool lineDone;

  static void OnLine(char* text) {
    line = text ? std::optional<std::string>(text) : std::nullopt;
    free(text);
    lineDone = true;
    rl_callback_handler_remove();
  }

  static int OnCopyKey(int, int) {
    if (current && current->copyKey_ && current->copyKey_()) {
      ConsoleWrite("\r\n");
      rl_done = 1;
    }
    return 0;
  }

  static int IgnoreKey(int, int) { return 0; }

  // In raw mode Ctrl+D arrives as a byte; an end of input or a read error (EIO once the
  // terminal is gone) means nobody is left to type, and asking again would only spin.
  static int ReadKey(FILE*) {
    int c = typed ? typed->Next() : -1;
    if (c < 0 && current) current->atEnd_ = true;
    return c;
  }

  static int ReadByte(int waitMs) {
    FILE* stream = rl_instream ? rl_instream : stdin;
    if (waitMs >= 0) {
      struct pollfd fd = {fileno(stream), POLLIN, 0};
      if (poll(&fd, 1, waitMs) <= 0) return TypedBytes::kNoByteYet;
    }
    return rl_getc(stream);
  }

  // Ctrl+C must arrive as a key while a line is edited, so signal generation is switched off
  // for exactly that time; readline puts the old settings back when the line ends.
  static void PrepareTerminal(int meta) {
    rl_prep_terminal(meta);
    struct termios settings;
    int fd = fileno(rl_instream ? rl_instream : stdin);
    if (tcgetattr(fd, &settings) == 0) {
      settings.c_lflag &= ~ISIG;
      tcsetattr(fd, TCSANOW, &settings);
    }
    NoteLineEditorTerminal(true);
  }

  static void RestoreTerminal() {
    rl_deprep_terminal();
    NoteLineEditorTerminal(false);
  }

  static std::optional<TypedBytes> typed;
};

std::optional<TypedBytes> LineEditorCallbacks::typed;

LineEditor* LineEditorCallbacks::current = nullptr;
std::optional<std::string> LineEditorCallbacks::line;
bool LineEditorCallbacks::lineDone = false;

std::string MarkInvisibleSequences(const std::string& prompt) {
  std::string out;
  for (size_t i = 0; i < prompt.size(); ++i) {
    if (prompt[i] == '\x1b' && i + 1 < prompt.size() && prompt[i + 1] == '[') {
      size_t end = i + 2;
      while (end < prompt.size() && !(prompt[end] >= '@' && prompt[end] <= '~')) ++end;
      out += '\001';
      out.append(prompt, i, end + 1 - i);
      out += '\002';
      i = end;
    } else {
      out += prompt[i];
    }
  }
  return out;
}

LineEditor::LineEditor(std::function<bool()> copyKey, std::function<std::string()> promptSource)
    : copyKey_(std::move(copyKey)),
      promptSource_(std::move(promptSource)),
      interactive_(isatty(STDIN_FILENO) == 1) {
  if (LineEditorCallbacks::current) throw std::logic_error("only one line editor at a time");
  LineEditorCallbacks::current = this;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no wake-up pipe");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  if (!interactive_) return;
  rl_catch_signals = 0;
  // Readline would setenv LINES and COLUMNS on the prompt thread while the start-up thread
  // reads the environment (getenv, the CLI's environment block): a crash in getenv.
  rl_change_environment = 0;
  rl_readline_name = "tessary";
  rl_prep_term_function = &LineEditorCallbacks::PrepareTerminal;
  rl_deprep_term_function = &LineEditorCallbacks::RestoreTerminal;
  LineEditorCallbacks::typed.emplace(&LineEditorCallbacks::ReadByte, LocaleIsUtf8());
  rl_getc_function = &LineEditorCallbacks::ReadKey;
  rl_bind_key(3, &LineEditorCallbacks::OnCopyKey);     // Ctrl+C
  rl_bind_key(22, &LineEditorCallbacks::IgnoreKey);    // Ctrl+V
  rl_bind_key('\t', rl_insert);                        // no completion
}

LineEditor::~LineEditor() {
  LineEditorCallbacks::current = nullptr;
  LineEditorCallbacks::typed.reset();
  close(wakeRead_);
  close(wakeWrite_);
}

std::optional<std::string> LineEditor::ReadLine(const std::string& prompt) {
  if (atEnd_) return std::nullopt;
  return interactive_ ? ReadTerminalLine(prompt) : ReadPlainLine();
}

void LineEditor::RequestRedraw() {
  char byte = 1;
  // A full pipe already holds a pending request, which is all that is needed.
  [[maybe_unused]] ssize_t n = write(wakeWrite_, &byte, 1);
}

void LineEditor::Redraw() {
  char buffer[64];
  while (read(wakeRead_, buffer, sizeof buffer) > 0) {
  }
  std::string marked = MarkInvisibleSequences(promptSource_());
  ConsoleWrite("\r\x1b[2K");
  rl_set_prompt(marked.c_str());
  rl_forced_update_display();
}

std::optional<std::string> LineEditor::ReadTerminalLine(const std::string& prompt) {
  std::string marked = MarkInvisibleSequences(prompt);
  LineEditorCallbacks::lineDone = false;
  LineEditorCallbacks::line.reset();
  fflush(stdout);
  rl_callback_handler_install(marked.c_str(), &LineEditorCallbacks::OnLine);
  while (!LineEditorCallbacks::lineDone) {
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    // A hung-up terminal also reports POLLIN, and every read then fails at once.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      atEnd_ = true;
      break;
    }
    if (fds[1].revents & POLLIN) Redraw();
    if (fds[0].revents & POLLIN) {
      rl_callback_read_char();
      // Bytes read ahead to check a sequence are not in the terminal's queue any more.
      const auto& typed = LineEditorCallbacks::typed;
      while (typed && typed->HasQueued() && !LineEditorCallbacks::lineDone && !atEnd_)
        rl_callback_read_char();
    }
    if (atEnd_) break;
  }
  if (atEnd_ && LineEditorCallbacks::lineDone) return std::nullopt;
  if (!LineEditorCallbacks::lineDone) {
    rl_callback_handler_remove();
    return std::nullopt;
  }
  // Ctrl+D on an empty line leaves the cursor behind the prompt; the next one starts afresh.
  if (!LineEditorCallbacks::line) ConsoleWrite("\r\n");
  return LineEditorCallbacks::line;
}

std::optional<std::string> LineEditor::ReadPlainLine() {
  char* buffer = nullptr;
  size_t capacity = 0;
  ssize_t length = getline(&buffer, &capacity, stdin);
  if (length < 0) {
    free(buffer);
    atEnd_ = true;
    return std::nullopt;
  }
  std::string line(buffer, size_t(length));
  free(buffer);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace platform
