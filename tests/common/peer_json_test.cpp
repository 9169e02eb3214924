// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/peer_json.h"

#include <gtest/gtest.h>

namespace {

TEST(PeerJsonTest, OnlyLoneSurrogateEscapesInsideStringsAreTouched) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {R"({"a":"\ud83d\ude00"})", R"({"a":"\ud83d\ude00"})"},    // a whole pair stays
      {R"({"a":"\\ud83d"})", R"({"a":"\\ud83d"})"},              // an escaped backslash, no escape
      {R"({"a":"\u00e9\n"})", R"({"a":"\u00e9\n"})"},
      {R"({"a":"\ud83d"})", "{\"a\":\"\xf4\x8f\xa0\xbd\"}"},     // stand-in for the lone half
      {R"({"a":"\udbff\udfff"})", R"({"a":"\ufffd"})"},          // a real stand-in character
      {"{\"a\":\"\xed\xa0\xbd\xff\"}", "{\"a\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"}"},
  };
  for (const Case& c : cases) {
    bool standIns = false;
    EXPECT_EQ(common::RepairJsonText(c.in, standIns), c.out) << c.in;
    EXPECT_EQ(standIns, c.in == R"({"a":"\ud83d"})") << c.in;
  }
}

TEST(PeerJsonTest, HalvesJoinAcrossPiecesAndOtherwiseBecomeReplacements) {
  const std::string high = "\xf4\x8f\xa0\xbd", low = "\xf4\x8f\xb8\x80";  // D83D, DE00
  common::SurrogateJoiner joiner;
  EXPECT_EQ(joiner.Feed("a" + high), "a");
  EXPECT_EQ(joiner.Feed(low + "b"), "\U0001F600b");
  EXPECT_EQ(joiner.Feed(high + high), "\uFFFD");
  EXPECT_EQ(joiner.Finish(), "\uFFFD");
  EXPECT_EQ(joiner.Feed(low), "\uFFFD");
  EXPECT_EQ(common::SettleStandIns(high + low + high), "\U0001F600\uFFFD");
}

}  // namespace
