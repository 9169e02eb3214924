// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/random.h>

#include <cerrno>
#include <cstdio>

#include "plexar/automation.h"

namespace plexar {

GUID NewGuid() {
  uint8_t bytes[16] = {};
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // entropy source unavailable: keep what we have
    got += static_cast<size_t>(n);
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  GUID guid{};
  guid.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}

std::string GuidToText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

}  // namespace plexar
