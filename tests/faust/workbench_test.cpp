// SPDX-License-Identifier: GPL-3.0-or-later
// Capturing code from answers and the index rule every workbench command uses.
#include <gtest/gtest.h>

#include "faust/workbench.h"

namespace {

TEST(ExtractFaustCodeTest, TakesTheFirstFaustBlockUpToItsOwnFence) {
  struct Case {
    const char* answer;
    const char* code;  // null: nothing captured
  };
  const Case cases[] = {
      {"Here:\n```faust\nprocess = _;\n```\nEnjoy.", "process = _;\n"},
      // Prose and other blocks after the faust block are not code.
      {"```faust\nprocess = *(0.5);\n```\nThen run:\n```sh\nfaust x.dsp\n```\n",
       "process = *(0.5);\n"},
      {"```faust\r\nprocess = _;\r\n```", "process = _;\r\n"},
      {"```faust  \nprocess = _;```", "process = _;"},
      {"```faust\n```\nmore", nullptr},   // marker directly followed by the closing fence
      {"```faust\nprocess = _;\n", nullptr},  // no closing fence
      {"```faust", nullptr},
      {"no code at all", nullptr},
      {"```cpp\nint x;\n```", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<std::string> code = ExtractFaustCode(c.answer);
    if (!c.code) {
      EXPECT_FALSE(code) << c.answer;
    } else {
      ASSERT_TRUE(code) << c.answer;
      EXPECT_EQ(*code, c.code) << c.answer;
    }
  }
}

TEST(WorkbenchIndexTest, ZeroAndOneNameTheFirstEntryAndNegativesNone) {
  struct Case {
    const char* word;
    size_t count;
    std::optional<size_t> position;
  };
  const Case cases[] = {
      {"0", 3, 0}, {"1", 3, 0}, {"3", 3, 2}, {"4", 3, std::nullopt}, {"-1", 3, std::nullopt},
      {"abc", 1, 0}, {"abc", 0, std::nullopt}, {" 2x", 3, 1}, {"+2", 3, 1},
      {"99999999999", 3, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(WorkbenchIndex(c.word, c.count), c.position) << c.word;
}

}  // namespace
