// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace Molt {
namespace {

std::string ErrnoText(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

std::string TemporaryPrefix(const std::filesystem::path& target) {
  std::string prefix = ".";
  prefix += target.filename().string();
  prefix += ".molt-";
  return prefix;
}

std::filesystem::path TemporaryName(const std::filesystem::path& target) {
  std::random_device random;
  std::ostringstream name;
  name << TemporaryPrefix(target) << std::hex << random() << random();
  return target.parent_path() / name.str();
}

// Large enough for the disk to take in one go, small enough that little is left at the end.
constexpr std::uint64_t kWriteBackStep = 8ull << 20;

bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

}  // namespace

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const std::filesystem::path& target,
                                                         std::string* error, mode_t newMode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::filesystem::path temporary = TemporaryName(target);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode);
    if (fd >= 0) {
      return std::unique_ptr<ReplacementFile>(
          new ReplacementFile(target, std::move(temporary), fd));
    }
    if (errno != EEXIST) {
      *error = ErrnoText("cannot create", temporary);
      return nullptr;
    }
  }
  *error = "no free temporary name beside " + target.string();
  return nullptr;
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_) unlink(temporary_.c_str());
}

bool ReplacementFile::Write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    written_ += static_cast<std::uint64_t>(written);
  }
  if (written_ - writeBackFrom_ >= kWriteBackStep) {
    // Only starts the writing and does not wait; Commit's fsync still waits for all of it.
    // A file system that cannot do this only leaves more to the fsync.
    sync_file_range(fd_, static_cast<off_t>(writeBackFrom_),
                    static_cast<off_t>(written_ - writeBackFrom_), SYNC_FILE_RANGE_WRITE);
    writeBackFrom_ = written_;
  }
  return true;
}

void ReplacementFile::FlushSoFar() const { fdatasync(fd_); }

bool ReplacementFile::Commit(std::string* error) {
  struct stat old;
  if (stat(target_.c_str(), &old) == 0 && fchmod(fd_, old.st_mode & 07777) != 0) {
    *error = ErrnoText("cannot set the mode of", temporary_);
    return false;
  }
  if (fsync(fd_) != 0) {
    *error = ErrnoText("cannot flush", temporary_);
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    *error = ErrnoText("cannot close", temporary_);
    return false;
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    *error = ErrnoText("cannot rename over", target_);
    return false;
  }
  committed_ = true;
  if (!SyncFolder(target_.parent_path())) {
    *error = ErrnoText("cannot flush the folder of", target_);
    return false;
  }
  return true;
}

void RemoveStaleReplacements(const std::filesystem::path& target, std::chrono::seconds age) {
  const std::string prefix = TemporaryPrefix(target);
  const auto now = std::filesystem::file_time_type::clock::now();
  std::error_code error;
  for (std::filesystem::directory_iterator it(target.parent_path(), error), end;
       it != end && !error; it.increment(error)) {
    std::error_code statError;
    if (!it->path().filename().string().starts_with(prefix) || !it->is_regular_file(statError))
      continue;
    const auto written = it->last_write_time(statError);
    if (!statError && now - written > age) std::filesystem::remove(it->path(), statError);
  }
}

bool MappedByThisProcess(const std::filesystem::path& path) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return false;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    // address perms offset major:minor inode path
    std::istringstream fields(line);
    std::string address, perms, offset, device;
    unsigned long long inode = 0;
    if (!(fields >> address >> perms >> offset >> device >> inode) || inode == 0) continue;
    unsigned major = 0, minor = 0;
    if (std::sscanf(device.c_str(), "%x:%x", &major, &minor) != 2) continue;
    if (inode == file.st_ino && makedev(major, minor) == file.st_dev) return true;
  }
  return false;
}

}  // namespace Molt
