// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "webwire/data_provider.h"
#include "webwire/data_writer.h"

namespace Webwire {
namespace {

TEST(MemoryDataProviderTest, ReadsInPiecesThenEnds) {
  const std::string text = "0123456789";
  memory_data_provider provider(text);
  EXPECT_EQ(provider.size(), 10u);
  EXPECT_TRUE(provider.whole());
  const data_block block = provider.block();
  EXPECT_EQ(block.size, 10u);
  EXPECT_EQ(static_cast<const void*>(block.data), static_cast<const void*>(text.data()));

  std::uint8_t buffer[4];
  std::string read;
  for (std::uint64_t got; (got = provider.read(buffer, sizeof buffer)) != 0;) {
    EXPECT_LE(got, sizeof buffer);
    read.append(reinterpret_cast<const char*>(buffer), got);
  }
  EXPECT_EQ(read, text);
  EXPECT_EQ(provider.read(buffer, sizeof buffer), 0u);
}

TEST(MemoryDataProviderTest, EmptyBodyHasNothingToRead) {
  memory_data_provider provider;
  std::uint8_t buffer[1];
  EXPECT_EQ(provider.size(), 0u);
  EXPECT_EQ(provider.read(buffer, 1), 0u);
}

TEST(MemoryDataWriterTest, AppendsEveryPiece) {
  memory_data_writer writer;
  const std::uint8_t first[] = {'a', 'b'};
  const std::uint8_t second[] = {'\0', 'c'};
  EXPECT_EQ(writer.write(first, 2), 2);
  EXPECT_EQ(writer.write(second, 2), 2);
  EXPECT_EQ(writer.size(), 4u);
  EXPECT_EQ(writer.text(), std::string("ab\0c", 4));
}

}  // namespace
}  // namespace Webwire
