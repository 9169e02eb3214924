// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/debug.h"
#include "molt/molter.h"
#include "molt/names.h"
#include "molt/replacement_file.h"
#include "molt/sha256.h"
#include "molt/write_behind.h"

namespace Molt {
namespace {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path)
      : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat status;
    if (fd_ >= 0 && fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
      size_ = static_cast<std::uint64_t>(status.st_size);
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  std::uint64_t size() const { return size_; }
  /// Reads [offset, offset + length) into `out`'s pieces, hashing it on the way; false
  /// when the range lies outside the file or reading fails.
  bool CopyTo(std::uint64_t offset, std::uint64_t length, WriteBehind& out, Sha256& hash) const {
    if (offset > size_ || length > size_ - offset) return false;
    while (length > 0) {
      const std::span<std::uint8_t> room = out.Room();
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(length, room.size()));
      const ssize_t got = pread(fd_, room.data(), want, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      hash.Update(room.first(static_cast<std::size_t>(got)));
      out.Filled(static_cast<std::size_t>(got));
      offset += static_cast<std::uint64_t>(got);
      length -= static_cast<std::uint64_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

const UpdateRequest* SourceData(const UpdateFile& file, const DIFFLIB::RdcNeed& need) {
  const auto found =
      std::find_if(file.requests.begin(), file.requests.end(), [&](const UpdateRequest& r) {
        return r.offset == need.fileOffset && r.length == need.blockLength && r.data &&
               r.data->size == need.blockLength;
      });
  return found != file.requests.end() ? &*found : nullptr;
}

HRESULT Fail(const UpdateFile& file, const std::string& why) {
  common::DebugLine("update: " + file.name + ": " + why);
  return Webwire::E_FAIL;
}

}  // namespace

HRESULT Molter::ApplyPatches() {
  movedAside = false;
  for (UpdateFile& file : files) {
    if (file.rebuild && Webwire::Failed(RebuildFile(file))) return Webwire::E_FAIL;
  }
  return Webwire::S_OK;
}

HRESULT Molter::RebuildFile(UpdateFile& file) {
  const std::filesystem::path target = LocalPath(folder, file.name);
  std::error_code error;
  // Checked before and after making folders: a link inside the installation must not lead
  // the new file, or new folders, outside it.
  if (!StaysInside(folder, target)) return Fail(file, "leads outside the folder");
  std::filesystem::create_directories(target.parent_path(), error);
  if (error || !StaysInside(folder, target)) return Fail(file, "no folder for it");

  RemoveStaleReplacements(target);
  const ReadOnlyFile seed(target);
  std::string why;
  auto out = ReplacementFile::Create(target, &why);
  if (!out) return Fail(file, why);
  // Hashing and reading run here while the writes go on in the writer's thread.
  Sha256 hash;
  WriteBehind writer(*out);
  auto sink = [&](std::span<const std::uint8_t> bytes) {
    hash.Update(bytes);
    writer.Append(bytes);
    return !writer.failed();
  };
  if (file.requests.size() == 1 && (seed.size() == 0 || file.needs.empty())) {
    const UpdateRequest& whole = file.requests.front();
    if (!whole.data || !patch_ || !patch_->ReadTo(*whole.data, limits.rebuiltFile, sink))
      return Fail(file, "cannot write");
  } else {
    for (const DIFFLIB::RdcNeed& need : file.needs) {
      bool ok = true;
      if (need.blockType == DIFFLIB::RDCNEED_SEED) {
        ok = seed.CopyTo(need.fileOffset, need.blockLength, writer, hash) && !writer.failed();
      } else if (need.blockType == DIFFLIB::RDCNEED_SOURCE) {
        const UpdateRequest* source = SourceData(file, need);
        ok = source != nullptr && patch_ && patch_->ReadTo(*source->data, need.blockLength, sink);
      }
      if (!ok) return Fail(file, "a block is missing or cannot be copied");
    }
  }
  if (!writer.Finish()) return Fail(file, "cannot write");
  if (hash.Finish() != file.remoteHash) return Fail(file, "hash differs");

  std::filesystem::path old = target;
  old += oldSuffix;
  unlink(old.c_str());
  // The running executable keeps its old inode after the rename; the new file is what the
  // next start runs.
  const bool inUse = MappedByThisProcess(target);
  if (!out->Commit(&why)) return Fail(file, why);
  if (inUse) movedAside = true;
  return Webwire::S_OK;
}

}  // namespace Molt
