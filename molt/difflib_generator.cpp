// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "molt/difflib.h"
#include "molt/difflib_format.h"
#include "molt/file_pieces.h"

namespace Molt::DIFFLIB {
namespace {

constexpr std::size_t kPeakRing = 2 * kHorizon + 2;

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

SignatureGenerator::SignatureGenerator() : peaks_(kPeakRing) { AppendHeader(out_); }

void SignatureGenerator::Feed(std::span<const std::uint8_t> bytes) {
  window_.insert(window_.end(), bytes.begin(), bytes.end());
  const std::uint64_t end = next_ + bytes.size();
  while (next_ < end) Ingest(next_++);
  // Keep only what the rolling hash and the chunk hash still need.
  HashDecidedUpTo(next_ > kHorizon ? next_ - kHorizon : 0);
  const std::uint64_t keep = std::min(hashedUpTo_, next_ > kHashWindow ? next_ - kHashWindow : 0);
  if (keep > windowStart_) {
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keep - windowStart_));
    windowStart_ = keep;
  }
}

void SignatureGenerator::Ingest(std::uint64_t position) {
  const auto& table = ByteHashes();
  rolling_ = RotateLeft(rolling_, 1) ^ table[window_[position - windowStart_]];
  if (position >= kHashWindow) {
    const std::uint8_t leaving = window_[position - kHashWindow - windowStart_];
    rolling_ ^= RotateLeft(table[leaving], kHashWindow);
  }
  if (position + 1 >= kHashWindow) PushPeak({position, rolling_});
  if (position >= kHorizon) Decide(position - kHorizon);
}

void SignatureGenerator::PushPeak(Peak peak) {
  // Equal hashes stay, so the front is the earliest of the highest: ties go to the left.
  while (peakCount_ > 0) {
    const Peak& back = peaks_[(peakHead_ + peakCount_ - 1) % kPeakRing];
    if (back.hash >= peak.hash) break;
    --peakCount_;
  }
  peaks_[(peakHead_ + peakCount_) % kPeakRing] = peak;
  ++peakCount_;
}

void SignatureGenerator::DropPeaksBefore(std::uint64_t position) {
  while (peakCount_ > 0 && peaks_[peakHead_].position < position) {
    peakHead_ = (peakHead_ + 1) % kPeakRing;
    --peakCount_;
  }
}

void SignatureGenerator::Decide(std::uint64_t position) {
  DropPeaksBefore(position > kHorizon ? position - kHorizon : 0);
  // Only a full horizon on the left makes a peak, so the first chunk is no shorter than
  // the others.
  const bool peak = position >= kHorizon && peakCount_ > 0 && peaks_[peakHead_].position == position;
  if (peak || position + 1 - chunkStart_ >= kMaxChunk) EndChunk(position);
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
