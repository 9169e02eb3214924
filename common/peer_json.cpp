// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/peer_json.h"

#include "common/utf8.h"

namespace common {
namespace {

constexpr char32_t kStandInBase = 0x10F800;  // 0x10F800 + (surrogate - 0xD800), to 0x10FFFF
constexpr const char* kReplacement = "\xEF\xBF\xBD";

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsLeading(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsTrailing(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

char32_t DecodeAt(std::string_view text, size_t at, size_t length) {
  auto b = [&](size_t i) { return char32_t(static_cast<unsigned char>(text[at + i])); };
  if (length == 1) return b(0);
  if (length == 2) return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
  if (length == 3) return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
  return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
}

// The value of a "\uXXXX" escape at `at`, or -1.
long EscapeAt(std::string_view text, size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
  long value = 0;
  for (size_t i = at + 2; i < at + 6; ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

void AppendEscape(std::string& out, char32_t c) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
}

// One escape inside a string; returns how many bytes of `text` it took.
size_t RepairEscape(std::string_view text, size_t at, std::string& out, bool& standIns) {
  long first = EscapeAt(text, at);
  if (first < 0 || !IsSurrogate(char32_t(first))) {
    size_t length = text[at + 1] == 'u' && first >= 0 ? 6 : 2;
    out.append(text.substr(at, length));
    return length;
  }
  long second = EscapeAt(text, at + 6);
  if (IsLeading(char32_t(first)) && second >= 0 && IsTrailing(char32_t(second))) {
    char32_t joined = 0x10000 + ((char32_t(first) - 0xD800) << 10) + (char32_t(second) - 0xDC00);
    if (joined >= kStandInBase) {
      AppendEscape(out, 0xFFFD);
    } else {
      out.append(text.substr(at, 12));
    }
    return 12;
  }
  AppendUtf8(out, kStandInBase + (char32_t(first) - 0xD800));
  standIns = true;
  return 6;
}

}  // namespace

std::string RepairJsonText(std::string_view text, bool& standIns) {
  standIns = false;
  std::string out;
  out.reserve(text.size());
  bool inString = false;
  for (size_t at = 0; at < text.size();) {
    char c = text[at];
    if (inString && c == '\\' && at + 1 < text.size()) {
      at += RepairEscape(text, at, out, standIns);
      continue;
    }
    if (c == '"') inString = !inString;
    size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (length == 4 && DecodeAt(text, at, 4) >= kStandInBase) {
      out += kReplacement;
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string SettleStandIns(std::string_view text) {
  SurrogateJoiner joiner;
  std::string out = joiner.Feed(text);
  return out + joiner.Finish();
}

std::string SurrogateJoiner::Feed(std::string_view piece) {
  std::string out;
  out.reserve(piece.size() + 3);
  for (size_t at = 0; at < piece.size();) {
    size_t length = Utf8SequenceAt(piece, at);
    if (length == 0) {
      out += Finish() + kReplacement;
      ++at;
      continue;
    }
    char32_t c = DecodeAt(piece, at, length);
    if (c < kStandInBase) {
      out += Finish();
      out.append(piece.substr(at, length));
    } else {
      char32_t half = 0xD800 + (c - kStandInBase);
      if (held_ && IsTrailing(half)) {
        AppendUtf8(out, 0x10000 + ((char32_t(held_) - 0xD800) << 10) + (half - 0xDC00));
        held_ = 0;
      } else {
        out += Finish();
        if (IsLeading(half)) {
          held_ = char16_t(half);
        } else {
          out += kReplacement;
        }
      }
    }
    at += length;
  }
  return out;
}

std::string SurrogateJoiner::Finish() {
  if (!held_) return "";
  held_ = 0;
  return kReplacement;
}

}  // namespace common
