// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "molt/difflib.h"
#include "molt/difflib_format.h"
#include "molt/file_pieces.h"

namespace Molt::DIFFLIB {
namespace {

// Room for the hashes of a horizon and one; a power of two, so wrapping is a mask.
constexpr std::size_t kRecent = 2048;
static_assert(kRecent >= kHorizon + 1 && (kRecent & (kRecent - 1)) == 0);
constexpr std::size_t kRecentMask = kRecent - 1;
constexpr unsigned kBlockBits = 5;
constexpr std::uint64_t kBlockMask = (1u << kBlockBits) - 1;
constexpr std::size_t kBlocks = 64;
static_assert(kBlocks << kBlockBits >= kHorizon + 2 * (1u << kBlockBits));

std::uint32_t RotateLeft(std::uint32_t value, unsigned bits) {
  bits %= 32;
  return bits == 0 ? value : (value << bits) | (value >> (32 - bits));
}

// A fixed table: both ends of an update must cut the same file at the same places.
const std::array<std::uint32_t, 256>& ByteHashes() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> values{};
    std::uint64_t state = 0x6d6f6c7464696666ull;
    for (auto& value : values) {
      state += 0x9e3779b97f4a7c15ull;
      std::uint64_t z = state;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
      value = static_cast<std::uint32_t>(z ^ (z >> 31));
    }
    return values;
  }();
  return table;
}

}  // namespace

SignatureGenerator::SignatureGenerator() : recent_(kRecent), blockHighest_(kBlocks) {
  AppendHeader(out_);
}

void SignatureGenerator::Feed(std::span<const std::uint8_t> bytes) {
  window_.insert(window_.end(), bytes.begin(), bytes.end());
  const std::uint64_t end = next_ + bytes.size();
  IngestUpTo(end);
  // Keep only what the rolling hash and the chunk hash still need.
  HashDecidedUpTo(next_ > kHorizon ? next_ - kHorizon : 0);
  const std::uint64_t keep = std::min(hashedUpTo_, next_ > kHashWindow ? next_ - kHashWindow : 0);
  if (keep > windowStart_) {
    window_.erase(window_.begin(),
                  window_.begin() + static_cast<std::ptrdiff_t>(keep - windowStart_));
    windowStart_ = keep;
  }
}

// A position ends a chunk when its hash is higher than every hash a horizon before it and
// no lower than every hash a horizon after it. Rather than keep the maximum of a sliding
// window, only the earliest highest position since the last retired one is followed; it is
// the only possible peak when a horizon has passed it.
//
// Every byte of every signed file passes this loop, so what it touches lives in locals (the
// stores into the hash rings could otherwise alias the members), and between two positions
// where something may be decided (the candidate's horizon passing, the longest chunk) it
// only hashes and keeps the highest.
void SignatureGenerator::IngestUpTo(std::uint64_t end) {
  const auto& table = ByteHashes();
  const std::uint8_t* bytes = window_.data() - windowStart_;
  std::uint32_t* recent = recent_.data();
  std::uint32_t* highest = blockHighest_.data();
  std::uint32_t rolling = rolling_;
  bool haveCandidate = haveCandidate_;
  std::uint64_t candidate = candidate_;
  std::uint32_t candidateHash = candidateHash_;
  // Hashes one position; true when it became the candidate.
  auto step = [&](std::uint64_t position) {
    rolling = RotateLeft(rolling, 1) ^ table[bytes[position]];
    if (position >= kHashWindow) {
      rolling ^= RotateLeft(table[bytes[position - kHashWindow]], kHashWindow);
    }
    if (position + 1 < kHashWindow) return false;
    recent[position & kRecentMask] = rolling;
    std::uint32_t& block = highest[(position >> kBlockBits) % kBlocks];
    block = (position & kBlockMask) == 0 ? rolling : std::max(block, rolling);
    if (haveCandidate && rolling <= candidateHash) return false;
    haveCandidate = true;
    candidate = position;
    candidateHash = rolling;
    return true;
  };
  for (std::uint64_t position = next_; position < end; ++position) {
    if (position >= kHorizon) {
      const std::uint64_t longest = std::min(end, chunkStart_ + kMaxChunk - 1 + kHorizon);
      std::uint64_t due = haveCandidate ? std::min(longest, candidate + kHorizon) : longest;
      // A new candidate only moves `due` later, so whole blocks of 32 run in registers.
      auto hash = [&](std::uint64_t at) {
        rolling = RotateLeft(rolling, 1) ^ table[bytes[at]] ^
                  RotateLeft(table[bytes[at - kHashWindow]], kHashWindow);
        recent[at & kRecentMask] = rolling;
        if (rolling > candidateHash || !haveCandidate) {
          haveCandidate = true;
          candidate = at;
          candidateHash = rolling;
          due = std::min(longest, at + kHorizon);
        }
        return rolling;
      };
      auto single = [&] {
        if (step(position)) due = std::min(longest, position + kHorizon);
        ++position;
      };
      while (position < due && (position & kBlockMask) != 0) single();
      while (position + kBlockMask < due) {
        std::uint32_t blockHighest = hash(position++);
        for (unsigned i = 1; i <= kBlockMask; ++i) {
          blockHighest = std::max(blockHighest, hash(position++));
        }
        highest[((position - 1) >> kBlockBits) % kBlocks] = blockHighest;
      }
      while (position < due) single();
      if (position == end) break;
    }
    step(position);
    if (position < kHorizon) continue;
    const std::uint64_t decided = position - kHorizon;
    if ((haveCandidate && candidate == decided) || decided + 1 - chunkStart_ >= kMaxChunk) {
      haveCandidate_ = haveCandidate;
      candidate_ = candidate;
      candidateHash_ = candidateHash;
      next_ = position + 1;
      Decide(decided);
      haveCandidate = haveCandidate_;
      candidate = candidate_;
      candidateHash = candidateHash_;
    }
  }
  rolling_ = rolling;
  haveCandidate_ = haveCandidate;
  candidate_ = candidate;
  candidateHash_ = candidateHash;
  next_ = end;
}

void SignatureGenerator::Decide(std::uint64_t position) {
  bool peak = false;
  if (haveCandidate_ && candidate_ == position) {
    // Higher than everything since the last retired candidate; a retired candidate within
    // a horizon before is at least as high. Only a full horizon on the left makes a peak,
    // so the first chunk is no shorter than the others.
    peak = position >= kHorizon && (!haveRetired_ || position > retired_ + kHorizon);
    Retire(position, std::min(next_ - 1, position + kHorizon));
  }
  if (peak || position + 1 - chunkStart_ >= kMaxChunk) EndChunk(position);
}

void SignatureGenerator::Consider(std::uint64_t position, std::uint32_t hash) {
  if (!haveCandidate_ || hash > candidateHash_) {
    haveCandidate_ = true;
    candidate_ = position;
    candidateHash_ = hash;
  }
}

// The next candidate is the earliest highest position in (candidate, last]: the partial
// block at the start position by position, then whole blocks by their highest hash. Long
// runs of one byte retire a candidate every few dozen positions, so this must not cost a
// horizon each time.
void SignatureGenerator::Retire(std::uint64_t candidate, std::uint64_t last) {
  haveRetired_ = true;
  retired_ = candidate;
  // Nothing up to `last` is higher than the retired candidate, so a position as high is the
  // answer at once: in a run of one byte, the very next one.
  const std::uint32_t top = candidateHash_;
  haveCandidate_ = false;
  const std::uint64_t headEnd = std::min(last, candidate | kBlockMask);
  for (std::uint64_t position = candidate + 1; position <= headEnd; ++position) {
    Consider(position, recent_[position & kRecentMask]);
    if (candidateHash_ == top) return;
  }
  std::uint64_t bestBlock = 0;
  bool blockWins = false;
  for (std::uint64_t block = (headEnd >> kBlockBits) + 1; block << kBlockBits <= last; ++block) {
    const std::uint32_t highest = blockHighest_[block % kBlocks];
    if (!haveCandidate_ || highest > candidateHash_) {
      haveCandidate_ = true;
      candidateHash_ = highest;
      bestBlock = block;
      blockWins = true;
    }
  }
  if (!blockWins) return;
  for (std::uint64_t position = bestBlock << kBlockBits;; ++position) {
    if (recent_[position & kRecentMask] == candidateHash_) {
      candidate_ = position;
      return;
    }
  }
}

void SignatureGenerator::HashDecidedUpTo(std::uint64_t end) {
  if (end <= hashedUpTo_) return;
  chunkHash_.Update({window_.data() + (hashedUpTo_ - windowStart_), end - hashedUpTo_});
  hashedUpTo_ = end;
}

void SignatureGenerator::EndChunk(std::uint64_t last) {
  HashDecidedUpTo(last + 1);
  const Bytes digest = chunkHash_.Finish();
  Chunk chunk;
  chunk.length = last + 1 - chunkStart_;
  std::copy_n(digest.begin(), kChunkHashSize, chunk.hash.begin());
  AppendChunk(out_, chunk);
  chunkStart_ = last + 1;
}

Bytes SignatureGenerator::Finish() {
  const std::uint64_t firstOpen = next_ > kHorizon ? next_ - kHorizon : 0;
  for (std::uint64_t position = firstOpen; position < next_; ++position) Decide(position);
  if (chunkStart_ < next_) EndChunk(next_ - 1);
  return std::move(out_);
}

Bytes SignBytes(std::span<const std::uint8_t> bytes) {
  SignatureGenerator generator;
  generator.Feed(bytes);
  return generator.Finish();
}

std::optional<Bytes> SignFile(const std::filesystem::path& path) {
  SignatureGenerator generator;
  auto feed = [&generator](std::span<const std::uint8_t> piece) { generator.Feed(piece); };
  if (!ReadInPieces(path, feed)) return std::nullopt;
  return generator.Finish();
}

}  // namespace Molt::DIFFLIB
