// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/terminal_text.h"

#include <gtest/gtest.h>

namespace {

using common::TerminalSafe;

TEST(TerminalSafeTest, NothingFromAPeerCanDriveTheTerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text ✓ やあ", "plain text ✓ やあ"},
      {"line\nnext\ttab\r\nwindows", "line\nnext\ttab\r\nwindows"},
      {"\x1b]52;c;SGVsbG8=\x07", "^[]52;c;SGVsbG8=^G"},  // writes the clipboard
      {"\x1b[2J\x1b[H", "^[[2J^[[H"},                    // clears the screen
      {"\x1b]0;title\x1b\\", "^[]0;title^[\\"},          // window title
      {"\xc2\x9b"
       "2J",
       "<U+009B>2J"},  // C1 CSI
      {"\xc2\x9d"
       "0;t\xc2\x9c",
       "<U+009D>0;t<U+009C>"},  // C1 OSC and ST
      {"over\rwrite", "over^Mwrite"},
      {"bell\x07 del\x7f nul", "bell^G del^? nul"},
      {std::string("a\0b", 3), "a^@b"},
      {"\x9b"
       "2J",
       "\xef\xbf\xbd"
       "2J"},                            // an 8-bit CSI byte is not UTF-8
      {"\xc2\xa0nbsp", "\xc2\xa0nbsp"},  // the first character past C1 is ordinary
  };
  for (const auto& [in, expected] : cases)
    EXPECT_EQ(TerminalSafe(in), expected) << ::testing::PrintToString(in);
}

TEST(TerminalSafeTest, AOneLineValueKeepsNoLineBreak) {
  EXPECT_EQ(common::TerminalSafeLine("gpt\r\nfake\tmodel\x1b[31m"), "gpt^M^Jfake^Imodel^[[31m");
}

TEST(TerminalSafeTest, StreamedPiecesGiveExactlyTheWholeText) {
  const std::string text =
      "caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x98\x80 \xc2\x9b"
      "2J a\r\nb\r \x1b[m";
  const std::string whole = TerminalSafe(text);
  // Every split into two and into single bytes.
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    common::TerminalSafeStream stream;
    std::string out = stream.Feed(text.substr(0, cut));
    out += stream.Feed(text.substr(cut));
    out += stream.Finish();
    EXPECT_EQ(out, whole) << "cut at " << cut;
  }
  common::TerminalSafeStream stream;
  std::string out;
  for (char c : text) out += stream.Feed(std::string(1, c));
  EXPECT_EQ(out + stream.Finish(), whole);
  // A piece cut short for good is shown as such at the end.
  common::TerminalSafeStream cut;
  EXPECT_EQ(cut.Feed("ok\xe2\x9c"), "ok");
  EXPECT_EQ(cut.Finish(), "\xef\xbf\xbd\xef\xbf\xbd");
}

}  // namespace
