// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/credential_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/base64.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Entries = std::map<std::string, Credential>;

constexpr const char* kHeader = "tessary-credentials 1";
constexpr off_t kMaxFileSize = 1 << 20;

std::string ErrnoText(const std::string& what, const fs::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// Names go into a tab-separated line, so they must hold no control characters at all.
bool IsStorableName(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

std::optional<Entries> Parse(const std::string& text) {
  Entries entries;
  size_t at = 0;
  bool header = true;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (header) {
      if (line != kHeader) return std::nullopt;
      header = false;
      continue;
    }
    if (line.empty()) continue;
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos || line.find('\t', tab2 + 1) != std::string::npos)
      return std::nullopt;
    std::string target = line.substr(0, tab1);
    std::optional<std::string> secret = common::DecodeBase64(line.substr(tab2 + 1));
    if (target.empty() || !secret || entries.count(target)) return std::nullopt;
    entries[target] = Credential{line.substr(tab1 + 1, tab2 - tab1 - 1), std::move(*secret)};
  }
  if (header) return std::nullopt;
  return entries;
}

std::string Serialise(const Entries& entries) {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [target, credential] : entries)
    text += target + "\t" + credential.user + "\t" + common::EncodeBase64(credential.secret) + "\n";
  return text;
}

// Missing, unreadable, oversized and malformed files all read as no credentials.
Entries Load(const fs::path& file) {
  // A FIFO or a device in the file's place must not block the start, nor a link lead the
  // read elsewhere: only a regular file is read.
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat info;
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileSize) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text.size() + size_t(n) > size_t(kMaxFileSize)) {
        text.clear();
        break;
      }
      text.append(buffer, size_t(n));
    }
  }
  close(fd);
  return Parse(text).value_or(Entries{});
}

bool MakePrivateFolder(const fs::path& folder, std::string* error) {
  fs::path partial;
  for (const fs::path& part : folder) {
    partial /= part;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      SetError(error, ErrnoText("cannot create", partial));
      return false;
    }
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    SetError(error, "not a folder: " + folder.string());
    return false;
  }
  // A folder we own that others can enter would expose the file's name and timing.
  if ((info.st_mode & 0077) != 0 && info.st_uid == geteuid()) chmod(folder.c_str(), 0700);
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// The new contents go to a private temporary file beside the old one, reach the disk, and
// only then replace it; the folder is synced so the rename itself survives a crash.
bool Replace(const fs::path& file, int folderFd, const Entries& entries, std::string* error) {
  if (entries.empty()) {
    if (unlink(file.c_str()) != 0 && errno != ENOENT) {
      SetError(error, ErrnoText("cannot remove", file));
      return false;
    }
    fsync(folderFd);
    return true;
  }
  std::string temporary = (file.parent_path() / ".credentials-XXXXXX").string();
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    SetError(error, ErrnoText("cannot create", temporary));
    return false;
  }
  bool ok = fchmod(fd, 0600) == 0 && WriteAll(fd, Serialise(entries)) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), file.c_str()) != 0) {
    SetError(error, ErrnoText("cannot write", file));
    unlink(temporary.c_str());
    return false;
  }
  fsync(folderFd);
  return true;
}

// Holds the folder lock for one read-modify-write cycle.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& folder)
      : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0)
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Why `info` (of `path`) is not ours alone, or empty.
std::string Untrusted(const fs::path& path, const struct stat& info) {
  if (info.st_uid != geteuid()) return path.string() + " belongs to another user";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path.string() + " may be written by others";
  return {};
}

}  // namespace

bool CredentialStore::Trusted(std::string* problem) const {
  std::string why;
  struct stat info;
  fs::path folder = file_.parent_path();
  if (stat(folder.c_str(), &info) == 0) why = Untrusted(folder, info);
  if (why.empty() && lstat(file_.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) why = file_.string() + " is a symbolic link";
    else if (!S_ISREG(info.st_mode)) why = file_.string() + " is not a regular file";
    else why = Untrusted(file_, info);
  }
  SetError(problem, why);
  return why.empty();
}

std::optional<Credential> CredentialStore::Read(const std::string& target,
                                                std::string* problem) const {
  if (!Trusted(problem)) return std::nullopt;
  Entries entries = Load(file_);
  auto found = entries.find(target);
  if (found == entries.end()) return std::nullopt;
  return found->second;
}

bool CredentialStore::Write(const std::string& target, const Credential& credential,
                            std::string* error) const {
  if (target.empty() || !IsStorableName(target) || !IsStorableName(credential.user)) {
    SetError(error, "a credential's target and user must be printable text");
    return false;
  }
  fs::path folder = file_.parent_path();
  if (!Trusted(error) || !MakePrivateFolder(folder, error)) return false;
  FolderLock lock(folder);
  if (lock.fd() < 0) {
    SetError(error, ErrnoText("cannot open", folder));
    return false;
  }
  Entries entries = Load(file_);
  entries[target] = credential;
  return Replace(file_, lock.fd(), entries, error);
}

bool CredentialStore::Delete(const std::string& target, std::string* error) const {
  // A link in the file's place goes, so no token is found there any more; what it points at
  // is never followed, since it need not be ours.
  struct stat info;
  if (lstat(file_.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (unlink(file_.c_str()) == 0) return true;
    SetError(error, ErrnoText("cannot remove", file_));
    return false;
  }
  if (!Trusted(error)) return false;
  fs::path folder = file_.parent_path();
  FolderLock lock(folder);
  if (lock.fd() < 0) return true;  // no folder, so nothing stored
  Entries entries = Load(file_);
  if (entries.erase(target) == 0) return true;
  return Replace(file_, lock.fd(), entries, error);
}

fs::path DefaultCredentialFile() {
  const char* config = getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (config && fs::path(config).is_absolute()) {
    base = config;
  } else {
    const char* home = getenv("HOME");
    if (!home || !*home) {
      struct passwd* user = getpwuid(getuid());
      home = user && user->pw_dir ? user->pw_dir : "/";
    }
    base = fs::path(home) / ".config";
  }
  return base / "tessary" / "credentials";
}

CredentialStore DefaultCredentialStore() { return CredentialStore(DefaultCredentialFile()); }

}  // namespace platform
