// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(RepairUtf8Test, EveryBadByteBecomesOneReplacementCharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x98\x80"},
      {"caf\xe9", "caf\xef\xbf\xbd"},                            // Latin-1
      {"\xff", "\xef\xbf\xbd"},                                  // never valid
      {"a\x80z", "a\xef\xbf\xbdz"},                              // stray continuation
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                  // overlong '/'
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // surrogate
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // past U+10FFFF
      {"\xe2\x9c", "\xef\xbf\xbd\xef\xbf\xbd"},                                  // cut short
      {std::string("nul\0in", 6), std::string("nul\0in", 6)},
  };
  for (const auto& [in, expected] : cases)
    EXPECT_EQ(common::RepairUtf8(in), expected) << ::testing::PrintToString(in);
}

}  // namespace
