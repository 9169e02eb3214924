// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>

namespace common {

int ReadNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t(INT_MAX) + 1) value = int64_t(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return int(value);
}

int ClampToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= double(INT_MAX)) return INT_MAX;
  if (value <= double(INT_MIN)) return INT_MIN;
  return int(value);
}

float ClampToFloat(double value) {
  if (std::isnan(value)) return float(value);
  return float(std::clamp(value, -double(FLT_MAX), double(FLT_MAX)));
}

static char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

}  // namespace common
