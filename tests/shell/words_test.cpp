// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/words.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

TEST(SplitWordsTest, FollowsTheQuoteAndBlankRules) {
  const std::pair<const char*, Words> cases[] = {
      {"", {}},
      {"   ", {}},
      {"/help me", {"/help", "me"}},
      {"  a   b  ", {"a", "b"}},
      {"\"/help\"", {"/help"}},
      {"cd \"My Folder\"", {"cd", "My Folder"}},
      {"a\"b c\"d", {"ab cd"}},
      {"x \"\" y", {"x", "y"}},
      {"open \"unclosed rest", {"open", "unclosed rest"}},
      {"tab\tstays", {"tab\tstays"}},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(SplitWords(line), expected) << line;
}

TEST(RestOfLineTest, JoinsTheWordsAfterTheFirstK) {
  EXPECT_EQ(RestOfLine("/skill  my   skills ", 1), "my skills");
  EXPECT_EQ(RestOfLine("/skill \"a  b\" c", 1), "a  b c");
  EXPECT_EQ(RestOfLine("/faust load x y", 2), "x y");
  EXPECT_EQ(RestOfLine("/skill", 1), "");
  EXPECT_EQ(RestOfLine("", 1), "");
}

}  // namespace
