// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

TEST(ReadNumberTest, ReadsLikeAtoi) {
  const std::pair<const char*, int> cases[] = {
      {"5", 5},       {"  42", 42},     {"-7", -7},       {"+3", 3},     {"12abc", 12},
      {"abc", 0},     {"", 0},          {"- 3", 0},       {"0", 0},      {"\t9", 9},
      {"99999999999", 2147483647},      {"-99999999999", -2147483647 - 1},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(common::ReadNumber(text), expected) << text;
}

TEST(ClampTest, NumbersFromPeersFitBeforeTheyAreConverted) {
  const std::pair<double, int> cases[] = {
      {1e300, 2147483647}, {-1e300, -2147483647 - 1}, {2147483648.0, 2147483647},
      {12.9, 12},          {-3.5, -3},                {std::nan(""), 0},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(common::ClampToInt(value), expected) << value;
  EXPECT_EQ(common::ClampToFloat(1e300), FLT_MAX);
  EXPECT_EQ(common::ClampToFloat(-1e300), -FLT_MAX);
  EXPECT_EQ(common::ClampToFloat(75.5), 75.5f);
}

TEST(TextTest, ComparesIgnoringCase) {
  EXPECT_TRUE(common::EqualsIgnoringCase("GPT-4.1", "gpt-4.1"));
  EXPECT_FALSE(common::EqualsIgnoringCase("gpt", "gpt-4"));
  EXPECT_EQ(common::ToLowerAscii("AbC-1"), "abc-1");
}

}  // namespace
