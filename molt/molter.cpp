// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/molter.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "common/text.h"
#include "molt/hash_cache.h"
#include "molt/names.h"

namespace Molt {
namespace {

// A path for the local signature archive in $TMPDIR (default /tmp); empty when none can
// be made.
std::filesystem::path TemporaryArchivePath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zipXXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  // The archive is created under the name with ".zip"; the placeholder keeps the name taken.
  return pattern;
}

// An unnamed file in $TMPDIR that goes when it is closed; -1 when none can be made.
int TemporaryFile() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string pattern = folder + "/moltXXXXXX";
  fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) unlink(pattern.c_str());
  return fd;
}

}  // namespace

Molter::Molter(std::filesystem::path folder, MoltProgress progress, std::string endpoint,
               Bytes publicKey)
    : endpoint(std::move(endpoint)),
      folder(std::move(folder)),
      progress(std::move(progress)),
      publicKey(std::move(publicKey)) {}

UpdateFile* Molter::FindFile(std::string_view name, bool add) {
  if (byName_.size() != files.size()) {
    byName_.clear();
    for (UpdateFile& file : files) byName_.emplace(common::ToLowerAscii(file.name), &file);
  }
  const std::string recordName = ToRecordName(name);
  const std::string key = common::ToLowerAscii(recordName);
  const auto found = byName_.find(key);
  if (found != byName_.end()) return found->second;
  if (!add || !IsSafeName(recordName)) return nullptr;
  UpdateFile& added = files.emplace_back();
  added.name = recordName;
  byName_.emplace(key, &added);
  return &added;
}

UpdateCall Molter::CallFor(std::string_view word, std::string_view body, int stage) {
  UpdateCall call;
  call.word = word;
  call.body = body;
  call.limit = stage == kStageHashes ? limits.hashesAnswer
               : stage == kStageSigs ? limits.sigsAnswer
                                     : limits.patchAnswer;
  call.timeout = stage == kStageHashes ? limits.hashesTimeout : limits.downloadTimeout;
  if (stage == kStageHashes) call.deadline = limits.hashesTimeout;
  if (progress) {
    call.progress = [this, stage](std::uint64_t done, std::int64_t total) {
      progress(stage, done, total, progressValue);
    };
  }
  return call;
}

HRESULT Molter::Fetch(std::string_view word, std::string_view body, int stage, Bytes& answer) {
  const auto parsed = ParseEndpoint(endpoint);
  if (!parsed) return Webwire::E_INTERNET_INVALID_URL;
  const HRESULT result = SendUpdateRequest(client_, *parsed, productId, CallFor(word, body, stage), answer);
  received += answer.size();
  return result;
}

HRESULT Molter::FetchPatch(std::string_view list) {
  patch_.reset();
  const auto parsed = ParseEndpoint(endpoint);
  if (!parsed) return Webwire::E_INTERNET_INVALID_URL;
  const int fd = TemporaryFile();
  if (fd < 0) return Webwire::E_FAIL;
  std::uint64_t written = 0;
  HRESULT result = SendUpdateRequest(client_, *parsed, productId,
                                     CallFor("patch", list, kStagePatch), fd, written);
  received += written;
  if (Webwire::Succeeded(result) && written > 0 && lseek(fd, 0, SEEK_SET) == 0)
    patch_ = ZipReader::OpenDescriptor(fd);
  if (!patch_) {
    close(fd);
    return Webwire::E_FAIL;
  }
  patch_->LimitInflation(limits.rebuiltFile);
  return result;
}

void Molter::DeleteMovedAside() {
  for (const UpdateFile& file : files) {
    std::filesystem::path old = LocalPath(folder, file.name);
    old += oldSuffix;
    unlink(old.c_str());
  }
}

std::int32_t Molter::Run(const FileFilter* filter) {
  const HRESULT hashes = GetRemoteHashes();
  DeleteMovedAside();
  if (hashes != Webwire::S_OK) return kNoHashList;
  if (Webwire::Failed(GetLocalHashes())) return kLocalUnreadable;
  std::vector<std::string> differing;
  for (const UpdateFile& file : files) {
    if (file.localHash != file.remoteHash) differing.push_back(file.name);
  }
  if (differing.empty()) return kNothingDiffers;
  if (filter != nullptr)
    std::erase_if(differing, [&](const auto& n) { return filter->Excludes(n); });
  if (differing.empty()) return kOnlyFilteredDiffer;
  // An installation this user cannot write to would download and sign at every start only
  // to fail at the end.
  if (access(folder.c_str(), W_OK) != 0) return kRebuildFailed;

  const HRESULT sigs = GetSigs({});
  // A name that would leave the folder ends the run; other failures show up further on.
  if (sigs == Webwire::S_FALSE || sigs == E_ACCESSDENIED) return kNoSignatures;
  const std::filesystem::path placeholder = TemporaryArchivePath();
  if (placeholder.empty()) return kLocalSigsNotMade;
  std::filesystem::path archive = placeholder;
  archive += ".zip";
  std::int32_t result = kUpdated;
  if (Webwire::Failed(MakeSigsZip(archive, filter))) {
    result = kLocalSigsNotMade;
  } else if (Webwire::Failed(GetSigs(archive))) {
    result = kLocalSigsNotRead;
  } else if (BuildRequests(filter) < 0) {
    result = kCompareFailed;
  } else if (Webwire::Failed(RequestDownload(filter))) {
    result = kDownloadFailed;
  } else if (Webwire::Failed(ApplyPatches())) {
    result = kRebuildFailed;
  } else if (movedAside) {
    result = kUpdatedInUse;
  }
  patch_.reset();
  // Removed, unlike on the first platform, so that updates do not pile archives up in /tmp.
  unlink(archive.c_str());
  unlink(placeholder.c_str());
  return result;
}

}  // namespace Molt
