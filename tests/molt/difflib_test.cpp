// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/difflib.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/molt/test_files.h"

namespace Molt::DIFFLIB {
namespace {

using molt_test::RandomBytes;

std::uint64_t Total(const std::vector<RdcNeed>& needs, RdcNeedType type) {
  std::uint64_t total = 0;
  for (const RdcNeed& need : needs) total += need.blockType == type ? need.blockLength : 0;
  return total;
}

TEST(SignatureGeneratorTest, ChunksCoverTheFileAndRespectTheHorizon) {
  const Bytes data = RandomBytes(300000, 1);
  const auto chunks = ReadSignatures(SignBytes(data));
  ASSERT_TRUE(chunks);
  ASSERT_GT(chunks->size(), 20u);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < chunks->size(); ++i) {
    total += (*chunks)[i].length;
    if (i + 1 < chunks->size()) {
      EXPECT_GT((*chunks)[i].length, kHorizon);
      EXPECT_LE((*chunks)[i].length, kMaxChunk);
    }
  }
  EXPECT_EQ(total, data.size());
}

TEST(SignatureGeneratorTest, PiecesOfAnySizeGiveTheSameSignatures) {
  const Bytes data = RandomBytes(100000, 2);
  SignatureGenerator generator;
  for (std::size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 7919 + 1) {
    const std::size_t size = std::min(step, data.size() - at);
    generator.Feed({data.data() + at, size});
  }
  EXPECT_EQ(generator.Finish(), SignBytes(data));
}

TEST(SignatureGeneratorTest, RunsWithoutPeaksAreCutAtTheLongestChunk) {
  const Bytes zeros(5 * kMaxChunk + 10, 0);
  const auto chunks = ReadSignatures(SignBytes(zeros));
  ASSERT_TRUE(chunks);
  ASSERT_EQ(chunks->size(), 6u);
  EXPECT_EQ(chunks->front().length, kMaxChunk);
  EXPECT_EQ(chunks->back().length, 10u);
}

TEST(SignatureGeneratorTest, EmptyAndShortInputs) {
  for (std::size_t size : {0, 1, 47, 48, 1024, 1025}) {
    const auto chunks = ReadSignatures(SignBytes(RandomBytes(size, 3)));
    ASSERT_TRUE(chunks) << size;
    EXPECT_EQ(chunks->size(), size == 0 ? 0u : 1u) << size;
  }
}

TEST(CompareTest, EqualFilesNeedOneSeedBlock) {
  const Bytes data = RandomBytes(200000, 4);
  const Bytes sigs = SignBytes(data);
  const auto needs = Compare(sigs, sigs);
  ASSERT_TRUE(needs);
  ASSERT_EQ(needs->size(), 1u);
  EXPECT_EQ((*needs)[0], (RdcNeed{RDCNEED_SEED, 0, data.size()}));
}

TEST(CompareTest, AnInsertionCostsOnlyTheChunksAroundIt) {
  const Bytes old = RandomBytes(2000000, 5);
  Bytes changed = old;
  const Bytes inserted = RandomBytes(1000, 6);
  changed.insert(changed.begin() + 1000000, inserted.begin(), inserted.end());
  const auto needs = Compare(SignBytes(old), SignBytes(changed));
  ASSERT_TRUE(needs);
  const std::uint64_t fromSource = Total(*needs, RDCNEED_SOURCE);
  EXPECT_GE(fromSource, inserted.size());
  EXPECT_LT(fromSource, 12 * kHorizon);
  EXPECT_EQ(fromSource + Total(*needs, RDCNEED_SEED), changed.size());
  // Rebuilding by the plan gives the new file.
  Bytes rebuilt;
  for (const RdcNeed& need : *needs) {
    const Bytes& from = need.blockType == RDCNEED_SEED ? old : changed;
    rebuilt.insert(rebuilt.end(), from.begin() + need.fileOffset,
                   from.begin() + need.fileOffset + need.blockLength);
  }
  EXPECT_EQ(rebuilt, changed);
}

TEST(CompareTest, MalformedSignaturesAreRefused) {
  const Bytes good = SignBytes(RandomBytes(5000, 7));
  Bytes truncated = good;
  truncated.pop_back();
  Bytes zeroLength = SignBytes({});
  zeroLength.push_back(0);
  zeroLength.resize(zeroLength.size() + kChunkHashSize);
  Bytes endless = SignBytes({});
  endless.insert(endless.end(), 12, 0xff);
  for (const Bytes& bad : {Bytes{}, Bytes{'x', 'y', 'z', 'w'}, truncated, zeroLength, endless}) {
    EXPECT_FALSE(Compare(good, bad));
    EXPECT_FALSE(Compare(bad, good));
  }
}

}  // namespace
}  // namespace Molt::DIFFLIB
