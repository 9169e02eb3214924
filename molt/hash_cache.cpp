// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/hash_cache.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "molt/difflib.h"
#include "molt/file_pieces.h"
#include "molt/replacement_file.h"
#include "molt/sha256.h"
#include "molt/signature_cache.h"

namespace Molt {

namespace {

// Longer than the tick of file times on any file system we run on.
constexpr long long kTimeTick = 100'000'000;

long long WallClock() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

struct HashAndSignatures {
  Bytes hash;
  std::optional<Bytes> signatures;
};

// One read for both: the file is as large as an update is slow to sign.
std::optional<HashAndSignatures> HashAndSign(const std::filesystem::path& file) {
  Sha256 hash;
  DIFFLIB::SignatureGenerator signer;
  const bool read = ReadInPieces(file, [&](std::span<const std::uint8_t> piece) {
    hash.Update(piece);
    signer.Feed(piece);
  });
  if (!read) return std::nullopt;
  return HashAndSignatures{hash.Finish(), signer.Finish()};
}

}  // namespace

HashCache::HashCache(std::filesystem::path store) : store_(std::move(store)) { Load(); }

std::optional<HashCache::Stamp> HashCache::StampOf(const std::filesystem::path& file) {
  struct stat status;
  if (stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  Stamp stamp;
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  stamp.size = static_cast<unsigned long long>(status.st_size);
  stamp.modified = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
  stamp.changed = status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec;
  return stamp;
}

void HashCache::Load() {
  if (store_.empty()) return;
  std::ifstream in(store_);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Known known;
    std::string hex;
    Stamp& s = known.stamp;
    if (!(fields >> s.device >> s.inode >> s.size >> s.modified >> s.changed >> known.hashedAt >>
          hex)) {
      continue;
    }
    std::string path;
    fields.get();  // the one blank before the path, which may hold blanks itself
    std::getline(fields, path);
    auto hash = FromHex(hex);
    if (!hash || path.empty()) continue;
    known.hash = std::move(*hash);
    known_[path] = std::move(known);
  }
}

std::optional<Bytes> HashCache::Hash(const std::filesystem::path& file) {
  std::error_code error;
  const std::string key = std::filesystem::absolute(file, error).lexically_normal().string();
  const auto before = StampOf(file);
  if (!before) return std::nullopt;
  const auto found = known_.find(key);
  if (found != known_.end() && Trusted(found->second, *before)) return found->second.hash;
  const long long hashedAt = WallClock();
  std::optional<HashAndSignatures> read;
  if (!store_.empty() && before->size >= kSignAheadSize) {
    read = HashAndSign(file);
  } else if (auto hash = HashFile(file)) {
    read = HashAndSignatures{std::move(*hash), std::nullopt};
  }
  if (!read) return std::nullopt;
  // A file that changed while it was read is hashed again at the next start.
  if (!store_.empty() && !error && StampOf(file) == before && key.find('\n') == std::string::npos) {
    known_[key] = {*before, hashedAt, read->hash};
    changed_ = true;
    if (read->signatures) KeepSignatures(store_, read->hash, *read->signatures);
  }
  return std::move(read->hash);
}

bool HashCache::Trusted(const Known& known, const Stamp& now) {
  return known.stamp == now && known.stamp.changed + kTimeTick < known.hashedAt &&
         known.stamp.modified + kTimeTick < known.hashedAt;
}

void HashCache::Save() {
  if (!changed_ || store_.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(store_.parent_path(), error);
  std::ostringstream text;
  for (const auto& [path, known] : known_) {
    const Stamp& s = known.stamp;
    text << s.device << ' ' << s.inode << ' ' << s.size << ' ' << s.modified << ' ' << s.changed
         << ' ' << known.hashedAt << ' ' << ToHex(known.hash) << ' ' << path << '\n';
  }
  std::string why;
  auto file = ReplacementFile::Create(store_, &why, 0644);
  const std::string bytes = text.str();
  if (file && file->Write(ToBytes(bytes)) && file->Commit(&why)) changed_ = false;
  std::set<std::string> current;
  for (const auto& entry : known_) current.insert(ToHex(entry.second.hash));
  PruneSignatures(store_, current);
}

std::filesystem::path DefaultHashStore() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache == '/')
    return std::filesystem::path(cache) / "tessary/molt-hashes";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/')
    return std::filesystem::path(home) / ".cache/tessary/molt-hashes";
  return {};
}

}  // namespace Molt
