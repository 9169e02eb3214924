// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "molt/difflib.h"
#include "molt/molter.h"
#include "molt/names.h"
#include "molt/signature_cache.h"
#include "molt/zzip.h"

namespace Molt {
namespace {

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > limit) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

HRESULT Molter::GetSigs(const std::filesystem::path& zipPath) {
  const bool remote = zipPath.empty();
  Bytes localZip;
  if (remote) {
    const HRESULT fetched = Fetch("sigs", {}, kStageSigs, remoteSigsZip);
    if (Webwire::Failed(fetched)) return fetched;
  } else {
    auto bytes = ReadWholeFile(zipPath, limits.sigsAnswer);
    if (bytes) localZip = std::move(*bytes);
  }
  const Bytes& zip = remote ? remoteSigsZip : localZip;
  if (zip.empty()) return Webwire::S_FALSE;
  const auto archive = ZipReader::Open(zip);
  if (!archive) return E_ACCESSDENIED;
  archive->LimitInflation(limits.sigsAnswer);
  for (const ZipReader::Entry& entry : archive->entries()) {
    if (entry.folder) continue;
    UpdateFile* file = FindFile(entry.name, true);
    if (file == nullptr) return E_ACCESSDENIED;
    auto sigs = archive->Read(entry, limits.sigsAnswer);
    if (!sigs) return E_ACCESSDENIED;
    (remote ? file->remoteSigs : file->localSigs) = std::move(*sigs);
  }
  return Webwire::S_OK;
}

HRESULT Molter::MakeSigsZip(const std::filesystem::path& zipPath, const FileFilter* filter) {
  if (zipPath.empty()) return Webwire::E_POINTER;
  unlink(zipPath.c_str());
  auto archive = ZipWriter::CreateFile(zipPath);
  if (!archive) return Webwire::E_FAIL;
  // Only files that the server lists and that differ need local signatures: an equal file
  // is left alone whatever its signatures say.
  bool allSigned = true;
  for (const UpdateFile& file : files) {
    const std::string relative = ToWireName(file.name);
    if (file.localHash.empty() || file.localHash == file.remoteHash) continue;
    if (verbose) std::printf("Adding %s...", relative.c_str());
    if (filter != nullptr && filter->Excludes(file.name)) {
      if (verbose) std::printf("excluded.\r\n");
      continue;
    }
    if (verbose) std::printf("added.\r\n");
    const std::filesystem::path path = LocalPath(folder, file.name);
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    auto sigs = error ? std::nullopt : CachedSignatures(hashStore, file.localHash, size);
    if (!sigs) sigs = DIFFLIB::SignFile(path);
    if (!sigs) {
      allSigned = false;
      continue;
    }
    // Read back at once by this run: compressing it would only cost time.
    if (!archive->Add(relative, *sigs, 0)) return Webwire::E_FAIL;
  }
  if (!archive->Close()) return Webwire::E_FAIL;
  return allSigned ? Webwire::S_OK : Webwire::S_FALSE;
}

}  // namespace Molt
