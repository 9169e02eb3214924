// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/difflib_format.h"

#include <algorithm>

namespace Molt::DIFFLIB {
namespace {

// Changes whenever window, horizon, longest chunk or hash size change: signatures made with
// other parameters never match.
constexpr std::array<std::uint8_t, 4> kTag = {'M', 'F', 'X', '2'};
// No file of an installation comes near this; it keeps offset sums far from overflowing.
constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 48;

}  // namespace

void AppendHeader(Bytes& out) { out.insert(out.end(), kTag.begin(), kTag.end()); }

void AppendChunk(Bytes& out, const Chunk& chunk) {
  std::uint64_t length = chunk.length;
  do {
    std::uint8_t byte = length & 0x7f;
    length >>= 7;
    if (length != 0) byte |= 0x80;
    out.push_back(byte);
  } while (length != 0);
  out.insert(out.end(), chunk.hash.begin(), chunk.hash.end());
}

std::optional<std::vector<Chunk>> ReadSignatures(std::span<const std::uint8_t> signatures) {
  if (signatures.size() < kTag.size() ||
      !std::equal(kTag.begin(), kTag.end(), signatures.begin())) {
    return std::nullopt;
  }
  std::vector<Chunk> chunks;
  // Each chunk takes at least one byte of length and its hash.
  chunks.reserve((signatures.size() - kTag.size()) / (1 + kChunkHashSize));
  std::uint64_t total = 0;
  std::size_t at = kTag.size();
  while (at < signatures.size()) {
    Chunk chunk;
    unsigned shift = 0;
    for (;;) {
      if (at >= signatures.size() || shift > 49) return std::nullopt;
      const std::uint8_t byte = signatures[at++];
      chunk.length |= std::uint64_t{byte & 0x7fu} << shift;
      shift += 7;
      if ((byte & 0x80) == 0) break;
    }
    if (chunk.length == 0 || signatures.size() - at < kChunkHashSize) return std::nullopt;
    total += chunk.length;
    if (total > kLargestFile) return std::nullopt;
    std::copy_n(signatures.begin() + static_cast<std::ptrdiff_t>(at), kChunkHashSize,
                chunk.hash.begin());
    at += kChunkHashSize;
    chunks.push_back(chunk);
  }
  return chunks;
}

}  // namespace Molt::DIFFLIB
