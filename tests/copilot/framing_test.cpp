// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/framing.h"

#include <gtest/gtest.h>

namespace {

using Bodies = std::vector<std::string>;

TEST(FramingTest, ExtractsWholeFramesAndKeepsTheRest) {
  struct Case {
    std::string buffer;
    Bodies bodies;
    std::string left;
  };
  const Case cases[] = {
      {"Content-Length: 2\r\n\r\n{}", {"{}"}, ""},
      {"Content-Length: 2\r\n\r\n{}Content-Length: 3\r\n\r\n[1]", {"{}", "[1]"}, ""},
      {"Content-Length: 4\r\n\r\n{}", {}, "Content-Length: 4\r\n\r\n{}"},
      {"Content-Length: 2\r\n", {}, "Content-Length: 2\r\n"},
      {"noise\r\nContent-Length: 2\r\n\r\n{}", {"{}"}, ""},
      {"Content-Length: 2\r\nContent-Type: x\r\n\r\n{}tail", {"{}"}, "tail"},
      {"Content-Length: 0\r\n\r\n", {""}, ""},
      {"no header yet", {}, "no header yet"},
  };
  for (const Case& c : cases) {
    std::string buffer = c.buffer;
    Bodies bodies;
    EXPECT_TRUE(ExtractFrames(buffer, bodies)) << c.buffer;
    EXPECT_EQ(bodies, c.bodies) << c.buffer;
    EXPECT_EQ(buffer, c.left) << c.buffer;
  }
}

TEST(FramingTest, RefusesLengthsThatCannotBeTrusted) {
  for (std::string buffer : {"Content-Length: abc\r\n\r\n{}", "Content-Length: -5\r\n\r\n{}",
                             "Content-Length: 99999999999999999999\r\n\r\n{}",
                             "Content-Length: 67108865\r\n\r\n"}) {
    Bodies bodies;
    EXPECT_FALSE(ExtractFrames(buffer, bodies)) << buffer;
  }
}

TEST(FramingTest, AFrameSplitAcrossReadsArrivesOnce) {
  std::string frame = MakeFrame("{\"a\":1}");
  std::string buffer;
  Bodies bodies;
  for (char c : frame) {
    buffer += c;
    ASSERT_TRUE(ExtractFrames(buffer, bodies));
  }
  EXPECT_EQ(bodies, Bodies{"{\"a\":1}"});
  EXPECT_TRUE(buffer.empty());
}

}  // namespace
