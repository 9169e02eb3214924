// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/random_id.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace platform {
namespace {

std::vector<uint8_t> RandomBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  size_t done = 0;
  while (done < count) {
    ssize_t n = getrandom(bytes.data() + done, count - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("no random source");
    done += size_t(n);
  }
  return bytes;
}

}  // namespace

std::string NewUuid() {
  std::vector<uint8_t> b = RandomBytes(16);
  b[6] = uint8_t((b[6] & 0x0f) | 0x40);
  b[8] = uint8_t((b[8] & 0x3f) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

std::string RandomHex(size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : RandomBytes(count)) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace platform
