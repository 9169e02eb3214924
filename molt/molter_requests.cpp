// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <charconv>

#include "molt/molter.h"
#include "molt/names.h"
#include "molt/zzip.h"

namespace Molt {
namespace {

bool Wanted(const UpdateFile& file, const FileFilter* filter) {
  if (file.remoteSigs.empty() || file.localSigs == file.remoteSigs) return false;
  if (filter != nullptr && filter->Excludes(file.name)) return false;
  // Nothing to verify a rebuilt file against, or nothing to rebuild.
  return !file.remoteHash.empty() && file.localHash != file.remoteHash;
}

std::optional<std::uint32_t> ReadIndex(std::string_view name) {
  std::uint32_t index = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
  if (error != std::errc() || end != name.data() + name.size() || name.empty()) return std::nullopt;
  return index;
}

}  // namespace

int Molter::BuildRequests(const FileFilter* filter) {
  std::uint32_t next = 1;
  int count = 0;
  for (UpdateFile& file : files) {
    file.rebuild = false;
    file.needs.clear();
    file.requests.clear();
    if (!Wanted(file, filter)) continue;
    if (file.localSigs.empty()) {
      file.requests.push_back({next++, 0, kWholeFile, {}});
    } else {
      if (access(LocalPath(folder, file.name).c_str(), R_OK) != 0) return -1;
      auto needs = DIFFLIB::Compare(file.localSigs, file.remoteSigs);
      if (!needs) return -1;
      std::uint64_t size = 0;
      for (const DIFFLIB::RdcNeed& need : *needs) size += need.blockLength;
      if (size > limits.rebuiltFile) return -1;
      file.needs = std::move(*needs);
      for (const DIFFLIB::RdcNeed& need : file.needs) {
        if (need.blockType == DIFFLIB::RDCNEED_SOURCE) {
          file.requests.push_back({next++, need.fileOffset, need.blockLength, {}});
        }
      }
    }
    file.rebuild = true;
    ++count;
  }
  return count;
}

HRESULT Molter::RequestDownload(const FileFilter* filter) {
  (void)filter;  // BuildRequests has chosen the files already
  std::string list;
  bool anyRebuild = false;
  for (const UpdateFile& file : files) {
    if (!file.rebuild) continue;
    anyRebuild = true;
    const std::string name = ToWireName(file.name);
    for (const UpdateRequest& request : file.requests) {
      if (!list.empty()) list += '|';
      list += std::to_string(request.index) + "," + name;
      if (request.length == kWholeFile) {
        list += ",F,0,0";
      } else {
        list += ",P," + std::to_string(request.offset) + "," + std::to_string(request.length);
      }
    }
  }
  // Files rebuilt from local blocks alone need no download.
  if (list.empty()) return anyRebuild ? Webwire::S_OK : Webwire::E_FAIL;

  const HRESULT fetched = FetchPatch(list);
  if (Webwire::Failed(fetched)) return fetched;
  // Only the sizes the archive states are checked here; each block is inflated, and held
  // to its stated size, when it is written.
  for (const ZipReader::Entry& entry : patch_->entries()) {
    const auto index = ReadIndex(entry.name);
    if (!index) continue;
    for (UpdateFile& file : files) {
      for (UpdateRequest& request : file.requests) {
        if (request.index != *index) continue;
        const bool whole = request.length == kWholeFile;
        if (whole ? entry.size > limits.rebuiltFile : entry.size != request.length)
          return Webwire::E_FAIL;
        request.data = entry;
      }
    }
  }
  return Webwire::S_OK;
}

}  // namespace Molt
