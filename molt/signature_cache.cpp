// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/signature_cache.h"

#include <fstream>
#include <iterator>

#include "molt/difflib.h"
#include "molt/replacement_file.h"
#include "molt/sha256.h"

namespace Molt {

namespace {

// Far above the signatures of any file we ship (about 0.4% of its size).
constexpr std::uintmax_t kLargestSignatures = 64ull << 20;

}  // namespace

std::filesystem::path SignatureFolder(const std::filesystem::path& store) {
  std::filesystem::path folder = store;
  folder += ".sigs";
  return folder;
}

std::optional<Bytes> CachedSignatures(const std::filesystem::path& store,
                                      std::span<const std::uint8_t> hash,
                                      std::uint64_t contentSize) {
  if (store.empty() || hash.size() != kSha256Size) return std::nullopt;
  const std::filesystem::path path = SignatureFolder(store) / ToHex(hash);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > kLargestSignatures) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || bytes.size() != size || size < kSha256Size) return std::nullopt;
  // A torn or damaged file would only make a plan that fails at the end, again at every
  // run; the checksum and the chunks' total keep it from being used at all.
  const std::span<const std::uint8_t> signatures(bytes.data(), bytes.size() - kSha256Size);
  if (HashBytes(signatures) != Bytes(bytes.end() - kSha256Size, bytes.end())) return std::nullopt;
  const auto chunks = DIFFLIB::ReadSignatures(signatures);
  if (!chunks) return std::nullopt;
  std::uint64_t total = 0;
  for (const DIFFLIB::Chunk& chunk : *chunks) total += chunk.length;
  if (total != contentSize) return std::nullopt;
  bytes.resize(signatures.size());
  return bytes;
}

void KeepSignatures(const std::filesystem::path& store, std::span<const std::uint8_t> hash,
                    std::span<const std::uint8_t> signatures) {
  if (store.empty() || hash.size() != kSha256Size) return;
  std::error_code error;
  const std::filesystem::path folder = SignatureFolder(store);
  std::filesystem::create_directories(folder, error);
  std::string why;
  auto file = ReplacementFile::Create(folder / ToHex(hash), &why, 0644);
  if (file && file->Write(signatures) && file->Write(HashBytes(signatures))) file->Commit(&why);
}

void PruneSignatures(const std::filesystem::path& store, const std::set<std::string>& current) {
  if (store.empty()) return;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(SignatureFolder(store), error)) {
    const std::string name = entry.path().filename().string();
    // Only names that are a hash are ours; a replacement's temporary files tidy themselves.
    if (name.size() != 2 * kSha256Size || name.find('.') != std::string::npos) continue;
    if (!current.contains(name)) std::filesystem::remove(entry.path(), error);
  }
}

}  // namespace Molt
