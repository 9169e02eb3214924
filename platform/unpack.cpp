// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/resources.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

bool SameBytes(const fs::path& file, const Resource& blob) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat info {};
  bool same = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<size_t>(info.st_size) == blob.size;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 16]);
  for (size_t done = 0; same && done < blob.size;) {
    ssize_t n = read(fd, buffer.get(), std::min<size_t>(1 << 16, blob.size - done));
    if (n < 0 && errno == EINTR) continue;
    same = n > 0 && std::memcmp(buffer.get(), blob.data + done, static_cast<size_t>(n)) == 0;
    done += n > 0 ? static_cast<size_t>(n) : 0;
  }
  close(fd);
  return same;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n, size -= static_cast<size_t>(n);
  }
  return true;
}

// A crash while writing never leaves half a file under the real name.
bool WriteFile(const fs::path& target, const Resource& blob) {
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  std::string temporary = target.string() + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, blob.data, blob.size) && fchmod(fd, 0755) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace

std::optional<fs::path> UnpackResource(const char* name, const std::string& fileName, std::string* error) {
  std::optional<Resource> blob = FindResource(name);
  if (!blob) {
    if (error) *error = std::string("this build carries no ") + name;
    return std::nullopt;
  }
  const fs::path target = UnpackFolder() / fileName;
  if (!SameBytes(target, *blob) && !WriteFile(target, *blob)) {
    if (error) *error = "cannot write " + target.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return target;
}

}  // namespace platform
