// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/typed_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::TypedBytes;

// Hands `typed` on through TypedBytes; a pause ('|' in the input) is a read that times out.
std::string Through(const std::string& typed, bool utf8) {
  size_t at = 0;
  TypedBytes bytes(
      [&](int waitMs) {
        if (at < typed.size() && typed[at] == '|') {
          ++at;
          if (waitMs >= 0) return TypedBytes::kNoByteYet;
        }
        return at < typed.size() ? int(static_cast<unsigned char>(typed[at++])) : -1;
      },
      utf8);
  std::string out;
  for (int c = bytes.Next(); c >= 0; c = bytes.Next()) out += char(c);
  EXPECT_FALSE(bytes.HasQueued());
  return out;
}

TEST(TypedBytesTest, EveryByteThatStartsNoWholeSequenceBecomesAReplacement) {
  const std::string kBad = "\xef\xbf\xbd";
  struct Case {
    std::string typed, handed;
  } cases[] = {
      {"plain", "plain"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"caf\xe9", "caf" + kBad},                 // Latin-1, cut off by the end of input
      {"caf\xe9\r", "caf" + kBad + "\r"},        // ... and by the Enter key
      {"\xe9t\xc3\xa9", kBad + "t\xc3\xa9"},
      {"\xff\x80", kBad + kBad},                 // no lead at all, a stray continuation
      {"\xe2\x82|\xac", kBad + kBad},          // the rest came too late
      {"\xe0\x80\x80", kBad},                    // overlong
      {"\xed\xa0\x80", kBad},                    // a surrogate
      {"\xe9\xc3\xa9", kBad + "\xc3\xa9"},       // the byte that broke a sequence starts one
  };
  for (const Case& c : cases) EXPECT_EQ(Through(c.typed, true), c.handed) << c.typed;
}

TEST(TypedBytesTest, ASingleByteLocaleGetsTheBytesAsTyped) {
  EXPECT_EQ(Through("caf\xe9\xff\r", false), "caf\xe9\xff\r");
}

}  // namespace
