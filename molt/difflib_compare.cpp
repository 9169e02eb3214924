// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <cstring>
#include <vector>

#include "molt/difflib.h"

namespace Molt::DIFFLIB {
namespace {

std::uint64_t HashOf(const Chunk& chunk) {
  std::uint64_t hash = 0;
  static_assert(kChunkHashSize <= sizeof hash);
  std::memcpy(&hash, chunk.hash.data(), kChunkHashSize);
  return hash;
}

// Where each chunk of the old file starts; the first copy wins. Open addressing in one
// small array: a large file has some 100,000 chunks, and a table of nodes spent most of
// the comparison in allocation and cache misses.
class SeedIndex {
 public:
  explicit SeedIndex(const std::vector<Chunk>& seed)
      : slots_(seed.size() + seed.size() / 2 + 16), offsets_(seed.size()) {
    std::uint64_t offset = 0;
    for (std::uint32_t i = 0; i < seed.size(); ++i) {
      offsets_[i] = offset;
      offset += seed[i].length;
      // Longer chunks than a slot can name are never made; such a seed chunk is not offered.
      if (seed[i].length > UINT32_MAX) continue;
      Slot& slot = slots_[SlotOf(HashOf(seed[i]), seed[i].length)];
      if (slot.length == 0) slot = {HashOf(seed[i]), static_cast<std::uint32_t>(seed[i].length), i};
    }
  }

  const std::uint64_t* OffsetOf(const Chunk& chunk) const {
    if (chunk.length > UINT32_MAX) return nullptr;
    const Slot& slot = slots_[SlotOf(HashOf(chunk), chunk.length)];
    return slot.length != 0 ? &offsets_[slot.chunk] : nullptr;
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t length = 0;  // 0: empty; no chunk is empty
    std::uint32_t chunk = 0;
  };

  // The slot holding the chunk, or the empty one where it would go; a third of the slots
  // stay empty, so the search is short.
  std::size_t SlotOf(std::uint64_t hash, std::uint64_t length) const {
    // The hash bytes are already uniform; the length only separates equal hashes.
    const std::uint64_t mixed = hash ^ (length * 0x9e3779b97f4a7c15ull);
    std::size_t at = static_cast<std::size_t>(
        (static_cast<unsigned __int128>(mixed) * slots_.size()) >> 64);
    while (slots_[at].length != 0 && (slots_[at].hash != hash || slots_[at].length != length))
      at = at + 1 == slots_.size() ? 0 : at + 1;
    return at;
  }

  std::vector<Slot> slots_;
  std::vector<std::uint64_t> offsets_;
};

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
  const SeedIndex index(*seedChunks);
  std::vector<RdcNeed> needs;
  std::uint64_t sourceOffset = 0;
  for (const Chunk& chunk : *sourceChunks) {
    if (const std::uint64_t* offset = index.OffsetOf(chunk)) {
      AppendNeed(needs, {RDCNEED_SEED, *offset, chunk.length});
    } else {
      AppendNeed(needs, {RDCNEED_SOURCE, sourceOffset, chunk.length});
    }
    sourceOffset += chunk.length;
  }
  return needs;
}

}  // namespace Molt::DIFFLIB
