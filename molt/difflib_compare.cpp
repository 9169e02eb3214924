// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>
#include <unordered_map>

#include "molt/difflib.h"

namespace Molt::DIFFLIB {
namespace {

struct ChunkKey {
  std::uint64_t hash;
  std::uint64_t length;
  friend bool operator==(const ChunkKey&, const ChunkKey&) = default;
};

struct ChunkKeyHash {
  std::size_t operator()(const ChunkKey& key) const {
    return key.hash ^ (key.length * 0x9e3779b97f4a7c15ull);
  }
};

ChunkKey KeyOf(const Chunk& chunk) {
  std::uint64_t hash = 0;
  static_assert(kChunkHashSize <= sizeof hash);
  std::memcpy(&hash, chunk.hash.data(), kChunkHashSize);
  return {hash, chunk.length};
}

// Where each chunk of the old file starts; the first copy wins.
std::unordered_map<ChunkKey, std::uint64_t, ChunkKeyHash> IndexSeed(
    const std::vector<Chunk>& seed) {
  std::unordered_map<ChunkKey, std::uint64_t, ChunkKeyHash> index;
  index.reserve(seed.size());
  std::uint64_t offset = 0;
  for (const Chunk& chunk : seed) {
    index.try_emplace(KeyOf(chunk), offset);
    offset += chunk.length;
  }
  return index;
}

void AppendNeed(std::vector<RdcNeed>& needs, RdcNeed need) {
  if (!needs.empty()) {
    RdcNeed& last = needs.back();
    if (last.blockType == need.blockType && last.fileOffset + last.blockLength == need.fileOffset) {
      last.blockLength += need.blockLength;
      return;
    }
  }
  needs.push_back(need);
}

}  // namespace

std::optional<std::vector<RdcNeed>> Compare(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> source) {
  auto seedChunks = ReadSignatures(seed);
  auto sourceChunks = ReadSignatures(source);
  if (!seedChunks || !sourceChunks) return std::nullopt;
  const auto index = IndexSeed(*seedChunks);
  std::vector<RdcNeed> needs;
  std::uint64_t sourceOffset = 0;
  for (const Chunk& chunk : *sourceChunks) {
    const auto found = index.find(KeyOf(chunk));
    if (found != index.end()) {
      AppendNeed(needs, {RDCNEED_SEED, found->second, chunk.length});
    } else {
      AppendNeed(needs, {RDCNEED_SOURCE, sourceOffset, chunk.length});
    }
    sourceOffset += chunk.length;
  }
  return needs;
}

}  // namespace Molt::DIFFLIB
