// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/list_signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "common/base64.h"

namespace Molt {
namespace {

constexpr std::string_view kCommentPrefix = "ed25519:";
constexpr std::size_t kSignatureSize = 64;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using ContextPtr = std::unique_ptr<EVP_MD_CTX, ContextFree>;

KeyPtr PrivateKeyFromPem(const Bytes& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (bio == nullptr) return nullptr;
  KeyPtr key(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr));
  BIO_free(bio);
  if (key && EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) key.reset();
  return key;
}

std::optional<Bytes> PemOf(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (bio == nullptr) return std::nullopt;
  std::optional<Bytes> pem;
  if (PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    pem = Bytes(data, data + size);
  }
  BIO_free(bio);
  return pem;
}

}  // namespace

std::optional<Bytes> ReadPublicKey(std::string_view hex) {
  if (hex.size() != 2 * kPublicKeySize) return std::nullopt;
  return FromHex(hex);
}

bool VerifyListComment(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> list,
                       std::string_view comment) {
  if (publicKey.size() != kPublicKeySize || !comment.starts_with(kCommentPrefix)) return false;
  const auto signature = common::DecodeBase64(comment.substr(kCommentPrefix.size()));
  if (!signature || signature->size() != kSignatureSize) return false;
  KeyPtr key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
  ContextPtr context(EVP_MD_CTX_new());
  if (!key || !context) return false;
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                          signature->size(), list.data(), list.size()) == 1;
}

std::optional<SigningKey> SigningKey::Load(const std::filesystem::path& pem, std::string* error) {
  std::ifstream in(pem, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = "cannot read " + pem.string();
    return std::nullopt;
  }
  if (!PrivateKeyFromPem(bytes)) {
    *error = pem.string() + " holds no Ed25519 private key";
    return std::nullopt;
  }
  return SigningKey(std::move(bytes));
}

std::optional<SigningKey> SigningKey::Generate(const std::filesystem::path& pem,
                                               std::string* error) {
  KeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  std::optional<Bytes> bytes = key ? PemOf(key.get()) : std::nullopt;
  if (!bytes) {
    *error = "cannot make an Ed25519 key";
    return std::nullopt;
  }
  const int fd = open(pem.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot create " + pem.string() + " (it must not exist yet)";
    return std::nullopt;
  }
  const bool written =
      write(fd, bytes->data(), bytes->size()) == static_cast<ssize_t>(bytes->size());
  if (close(fd) != 0 || !written) {
    *error = "cannot write " + pem.string();
    return std::nullopt;
  }
  return SigningKey(std::move(*bytes));
}

std::string SigningKey::SignList(std::span<const std::uint8_t> list) const {
  KeyPtr key = PrivateKeyFromPem(pem_);
  ContextPtr context(EVP_MD_CTX_new());
  if (!key || !context) return {};
  if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return {};
  unsigned char signature[kSignatureSize];
  std::size_t size = sizeof signature;
  if (EVP_DigestSign(context.get(), signature, &size, list.data(), list.size()) != 1) return {};
  return std::string(kCommentPrefix) +
         common::EncodeBase64(std::string_view(reinterpret_cast<const char*>(signature), size));
}

std::string SigningKey::PublicKeyHex() const {
  KeyPtr key = PrivateKeyFromPem(pem_);
  unsigned char raw[kPublicKeySize];
  std::size_t size = sizeof raw;
  if (!key || EVP_PKEY_get_raw_public_key(key.get(), raw, &size) != 1) return {};
  return ToHex({raw, size});
}

}  // namespace Molt
