// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/bytes.h"

namespace Molt {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::optional<Bytes> FromHex(std::string_view text) {
  Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int value = 0;
    for (std::size_t j = i; j < i + 2 && j < text.size(); ++j) {
      const int digit = DigitValue(text[j]);
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

}  // namespace Molt
