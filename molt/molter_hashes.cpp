// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include "molt/hash_cache.h"
#include "molt/hash_list.h"
#include "molt/list_signature.h"
#include "molt/molter.h"
#include "molt/names.h"
#include "molt/zzip.h"

namespace Molt {

HRESULT Molter::GetRemoteHashes() {
  const HRESULT fetched = Fetch("hashes", {}, kStageHashes, remoteHashesZip);
  if (Webwire::Failed(fetched)) return fetched;
  if (remoteHashesZip.empty()) return Webwire::S_FALSE;
  return ReadHashArchive();
}

HRESULT Molter::ReadHashArchive() {
  const auto archive = ZipReader::Open(remoteHashesZip);
  if (!archive) return E_ACCESSDENIED;
  archive->LimitInflation(limits.hashesAnswer);
  const auto& entries = archive->entries();
  if (entries.size() == 1) {
    const auto xml = archive->Read(entries.front(), limits.hashesAnswer);
    if (!xml) return E_ACCESSDENIED;
    // With a key, nothing of an unsigned or wrongly signed list is taken, not even names.
    if (!publicKey.empty() && !VerifyListComment(publicKey, *xml, archive->Comment())) {
      return E_ACCESSDENIED;
    }
    const auto items = ReadHashList(*xml);
    if (!items || items->size() > limits.hashesEntries) return E_ACCESSDENIED;
    for (const HashListItem& item : *items) {
      UpdateFile* file = FindFile(item.n, true);
      auto hash = FromHex(item.h);
      if (file == nullptr || !hash) return E_ACCESSDENIED;
      file->remoteHash = std::move(*hash);
    }
    return Webwire::S_OK;
  }
  // Only the one-entry form can carry a signature.
  if (!publicKey.empty()) return E_ACCESSDENIED;
  if (entries.size() > limits.hashesEntries) return E_ACCESSDENIED;
  for (const ZipReader::Entry& entry : entries) {
    if (entry.folder) continue;
    UpdateFile* file = FindFile(entry.name, true);
    if (file == nullptr) return E_ACCESSDENIED;
    auto hash = archive->Read(entry, limits.hashesAnswer);
    if (!hash) return E_ACCESSDENIED;
    file->remoteHash = std::move(*hash);
  }
  return Webwire::S_OK;
}

HRESULT Molter::GetLocalHashes() {
  struct stat status;
  if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return Webwire::E_FAIL;
  // Only the files the server lists are looked at, each where its name says.
  HashCache cache(hashStore);
  for (UpdateFile& file : files) {
    const std::filesystem::path path = LocalPath(folder, file.name);
    file.localHash.clear();
    if (stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) continue;
    auto hash = cache.Hash(path);
    if (!hash) return Webwire::E_FAIL;
    file.localHash = std::move(*hash);
  }
  cache.Save();
  return Webwire::S_OK;
}

}  // namespace Molt
