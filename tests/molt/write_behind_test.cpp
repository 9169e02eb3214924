// SPDX-License-Identifier: GPL-3.0-or-later
// The new content of a file written on a thread of its own: complete and in order, or not
// put in place at all.
#include "molt/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "molt/replacement_file.h"
#include "tests/molt/test_files.h"

namespace molt_test {
namespace {

// Enough for many pieces, and for write-back to start and the flusher to run several times
// before the end.
constexpr std::size_t kContentSize = (40u << 20) + 12345;

// Feeds `content` in steps of the sizes in turn, alternating copies and reads into Room
// (which may take less than asked).
void Feed(Molt::WriteBehind& writer, const Molt::Bytes& content) {
  const std::size_t steps[] = {1, 4095, 1u << 20, (1u << 20) + 1, 3u << 20, 17, 700000};
  std::size_t at = 0;
  for (std::size_t i = 0; at < content.size(); ++i) {
    std::size_t step = std::min(steps[i % std::size(steps)], content.size() - at);
    if (i % 2 == 0) {
      writer.Append(std::span(content).subspan(at, step));
    } else {
      const std::span<std::uint8_t> room = writer.Room();
      ASSERT_FALSE(room.empty());
      step = std::min(step, room.size());
      std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(at), step, room.begin());
      writer.Filled(step);
    }
    at += step;
  }
}

TEST(WriteBehindTest, EveryByteArrivesInOrderAndOnlyCommitPutsItInPlace) {
  TempFolder temp;
  const auto target = temp.path() / "tessary";
  const Molt::Bytes old = RandomBytes(5000, 1);
  const Molt::Bytes content = RandomBytes(kContentSize, 2);
  WriteFile(target, old);
  std::string why;
  auto out = Molt::ReplacementFile::Create(target, &why);
  ASSERT_TRUE(out) << why;
  {
    Molt::WriteBehind writer(*out);
    Feed(writer, content);
    ASSERT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.failed());
  }
  EXPECT_EQ(ReadFile(target), old);
  ASSERT_TRUE(out->Commit(&why)) << why;
  EXPECT_EQ(ReadFile(target), content);
  EXPECT_EQ(ListTree(temp.path()), std::vector<std::string>{"tessary"});
}

// A disk that fills up, or an update given up half-way, must leave the old file whole and
// no partial new one beside it.
TEST(WriteBehindTest, AFailedOrAbandonedWriteLeavesTheOldFileAndNothingElse) {
  TempFolder temp;
  const auto target = temp.path() / "tessary";
  const Molt::Bytes old = RandomBytes(5000, 3);
  const Molt::Bytes content = RandomBytes(kContentSize, 4);
  WriteFile(target, old);
  for (const bool full : {true, false}) {
    SCOPED_TRACE(full ? "disk full" : "abandoned");
    std::string why;
    auto out = Molt::ReplacementFile::Create(target, &why);
    ASSERT_TRUE(out) << why;
    {
      std::optional<FileSizeLimit> limit;
      if (full) limit.emplace(3u << 20);
      Molt::WriteBehind writer(*out);
      Feed(writer, content);
      if (full) {
        EXPECT_FALSE(writer.Finish());
        EXPECT_TRUE(writer.failed());
      }
    }
    out.reset();
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(ListTree(temp.path()), std::vector<std::string>{"tessary"});
  }
}

}  // namespace
}  // namespace molt_test
