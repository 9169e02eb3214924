// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/sha256.h"

#include <new>

#include "molt/file_pieces.h"

namespace Molt {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr || EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
    throw std::bad_alloc();
  }
}

Sha256::~Sha256() { EVP_MD_CTX_free(context_); }

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  EVP_DigestUpdate(context_, bytes.data(), bytes.size());
}

Bytes Sha256::Finish() {
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned size = 0;
  EVP_DigestFinal_ex(context_, digest.data(), &size);
  digest.resize(size);
  EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
  return digest;
}

Bytes HashBytes(std::span<const std::uint8_t> bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return hash.Finish();
}

std::optional<Bytes> HashFile(const std::filesystem::path& path) {
  Sha256 hash;
  if (!ReadInPieces(path, [&hash](std::span<const std::uint8_t> piece) { hash.Update(piece); })) {
    return std::nullopt;
  }
  return hash.Finish();
}

}  // namespace Molt
