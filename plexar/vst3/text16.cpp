// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/text16.h"

#include <cstring>

namespace plexar::vst3 {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Next code point of UTF-8 text; malformed bytes read as U+FFFD.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  auto b = static_cast<unsigned char>(text[i++]);
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (b >= 0x80 && extra == 0) return 0xFFFD;
  char32_t c = extra == 0 ? b : b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  return c;
}

}  // namespace

std::string FromUtf16(const char16_t* text, size_t units) {
  std::string out;
  for (size_t i = 0; text && i < units && text[i]; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

void ToUtf16(std::string_view text, char16_t* field, size_t units) {
  if (!field || units == 0) return;
  size_t n = 0, i = 0;
  while (i < text.size()) {
    char32_t c = NextCodePoint(text, i);
    size_t need = c >= 0x10000 ? 2 : 1;
    if (n + need >= units) break;
    if (need == 2) {
      c -= 0x10000;
      field[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
      field[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      field[n++] = static_cast<char16_t>(c);
    }
  }
  field[n] = 0;
}

std::string FromField(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

}  // namespace plexar::vst3
