// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/terminal_text.h"

#include <cstdio>

#include "common/utf8.h"

namespace common {
namespace {

// True when the text from `at` to its end could still become one well-formed sequence.
bool IsUnfinishedSequence(std::string_view text, size_t at) {
  size_t expected = Utf8LengthFromLead(static_cast<unsigned char>(text[at]));
  if (expected < 2 || at + expected <= text.size()) return false;
  // Completed with the lowest or the highest continuation bytes, would it be well formed?
  for (char fill : {'\x80', '\xBF'}) {
    std::string probe(text.substr(at));
    probe.resize(expected, fill);
    if (Utf8SequenceAt(probe, 0) != 0) return true;
  }
  return false;
}

void AppendSafe(std::string_view text, size_t at, size_t length, bool oneLine, std::string& out) {
  unsigned char c = static_cast<unsigned char>(text[at]);
  if (length == 0) {
    out += "\xEF\xBF\xBD";
  } else if (length == 1 && !oneLine && (c == '\n' || c == '\t')) {
    out += char(c);
  } else if (length == 1 && !oneLine && c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
    out += '\r';
  } else if (length == 1 && (c < 0x20 || c == 0x7f)) {
    out += '^';
    out += char(c == 0x7f ? '?' : c + 0x40);
  } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
    char name[16];
    std::snprintf(name, sizeof name, "<U+%04X>",
                  unsigned(static_cast<unsigned char>(text[at + 1])));
    out += name;
  } else {
    out.append(text, at, length);
  }
}

// Appends `text` made safe to `out`; with `more` set, stops before a tail that the next piece
// may complete, and returns where it stopped.
size_t MakeSafe(std::string_view text, bool more, bool oneLine, std::string& out) {
  size_t at = 0;
  while (at < text.size()) {
    if (more && (IsUnfinishedSequence(text, at) || (text[at] == '\r' && at + 1 == text.size())))
      break;
    size_t length = Utf8SequenceAt(text, at);
    AppendSafe(text, at, length, oneLine, out);
    at += length == 0 ? 1 : length;
  }
  return at;
}

}  // namespace

std::string TerminalSafe(std::string_view text) {
  std::string out;
  MakeSafe(text, false, false, out);
  return out;
}

std::string TerminalSafeLine(std::string_view text) {
  std::string out;
  MakeSafe(text, false, true, out);
  return out;
}

std::string TerminalSafeStream::Feed(std::string_view piece) {
  pending_.append(piece);
  std::string out;
  pending_.erase(0, MakeSafe(pending_, true, false, out));
  return out;
}

std::string TerminalSafeStream::Finish() {
  std::string out = TerminalSafe(pending_);
  pending_.clear();
  return out;
}

}  // namespace common
