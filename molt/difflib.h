// SPDX-License-Identifier: GPL-3.0-or-later
// Differential compression in the manner of RDC: files are cut into chunks where the content
// says so (FilterMax), each chunk is signed by its length and a strong hash, and comparing
// the signatures of two versions tells which chunks of the new one the old one already has.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "molt/bytes.h"
#include "molt/sha256.h"

namespace Molt::DIFFLIB {

/// Bytes the rolling hash looks at.
inline constexpr std::size_t kHashWindow = 48;
/// A position ends a chunk when its hash beats every hash this many bytes either side; so
/// no chunk but the last is shorter than this.
inline constexpr std::size_t kHorizon = 1024;
/// Runs without a local maximum (long runs of one byte) are cut at this length.
inline constexpr std::size_t kMaxChunk = 64 * 1024;
/// Bytes of each chunk's SHA-256 kept in the signatures: they are most of what an update
/// downloads besides the changed blocks. Two chunks of equal length and equal 48 bits are
/// rare enough (about 1e-8 for two 200 MB files), and a false match is caught by the whole
/// file's hash, which is checked before anything is written.
inline constexpr std::size_t kChunkHashSize = 6;

/// One chunk as the signatures describe it.
struct Chunk {
  std::uint64_t length = 0;
  std::array<std::uint8_t, kChunkHashSize> hash{};
};

/// Turns a byte stream into signature bytes; Feed the content in pieces of any size.
class SignatureGenerator {
 public:
  SignatureGenerator();
  void Feed(std::span<const std::uint8_t> bytes);
  /// The signatures of everything fed; the generator is spent afterwards.
  Bytes Finish();

 private:
  void IngestUpTo(std::uint64_t end);
  void Decide(std::uint64_t position);
  void Retire(std::uint64_t candidate, std::uint64_t last);
  void Consider(std::uint64_t position, std::uint32_t hash);
  void EndChunk(std::uint64_t last);
  void HashDecidedUpTo(std::uint64_t end);

  Bytes window_;  // bytes from windowStart_ on that are still needed
  std::uint64_t windowStart_ = 0;
  std::uint64_t next_ = 0;  // global position of the next byte to arrive
  std::uint64_t chunkStart_ = 0;
  std::uint64_t hashedUpTo_ = 0;
  std::uint32_t rolling_ = 0;
  // The rolling hash of the last positions, and the highest of each block of 32 of them,
  // for looking back over a horizon quickly.
  std::vector<std::uint32_t> recent_;
  std::vector<std::uint32_t> blockHighest_;
  // The earliest highest hash since the last retired candidate: the only position that can
  // be a peak once a horizon has passed it.
  bool haveCandidate_ = false;
  std::uint64_t candidate_ = 0;
  std::uint32_t candidateHash_ = 0;
  bool haveRetired_ = false;
  std::uint64_t retired_ = 0;
  Sha256 chunkHash_;
  Bytes out_;
};

Bytes SignBytes(std::span<const std::uint8_t> bytes);

/// The signatures of a file; nothing when it cannot be read.
std::optional<Bytes> SignFile(const std::filesystem::path& path);

/// The chunks described by signature bytes; nothing when they are malformed.
std::optional<std::vector<Chunk>> ReadSignatures(std::span<const std::uint8_t> signatures);

enum RdcNeedType : std::uint32_t { RDCNEED_SOURCE = 0, RDCNEED_TARGET = 1, RDCNEED_SEED = 2 };

/// One step of rebuilding the new file: copy `blockLength` bytes from `fileOffset` of the
/// old file (seed) or of the new file as the server has it (source).
struct RdcNeed {
  RdcNeedType blockType = RDCNEED_SOURCE;
  std::uint64_t fileOffset = 0;
  std::uint64_t blockLength = 0;
  friend bool operator==(const RdcNeed&, const RdcNeed&) = default;
};

/// The plan that rebuilds the file signed by `source` from the one signed by `seed`, in
/// the new file's order, with neighbouring steps of one kind merged. Nothing when either
/// signature is malformed.
std::optional<std::vector<RdcNeed>> Compare(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> source);

}  // namespace Molt::DIFFLIB
