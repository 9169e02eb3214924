// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/utf8.h"

namespace common {

size_t Utf8LengthFromLead(unsigned char lead) {
  return lead < 0x80                    ? 1
         : lead >= 0xC2 && lead <= 0xDF ? 2
         : lead >= 0xE0 && lead <= 0xEF ? 3
         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                        : 0;
}

size_t Utf8SequenceAt(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = Utf8LengthFromLead(lead);
  if (length == 0 || at + length > text.size()) return 0;
  // The second byte's range also rules out overlong forms, surrogates and values past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  return length;
}

std::string RepairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace common
