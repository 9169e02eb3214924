// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/write_target.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace platform {
namespace {

const char* Kind(mode_t mode) {
  return S_ISDIR(mode)    ? "a folder"
         : S_ISCHR(mode)  ? "a character device"
         : S_ISBLK(mode)  ? "a block device"
         : S_ISFIFO(mode) ? "a FIFO"
         : S_ISSOCK(mode) ? "a socket"
                          : "something other than a regular file";
}

}  // namespace

std::optional<std::string> WritableFile(const std::string& path, std::string* error) {
  struct stat link{};
  if (lstat(path.c_str(), &link) != 0) {
    if (errno == ENOENT) return path;
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  if (S_ISREG(link.st_mode)) return path;
  if (!S_ISLNK(link.st_mode)) {
    *error = path + " is " + Kind(link.st_mode);
    return std::nullopt;
  }
  struct stat target{};
  if (stat(path.c_str(), &target) != 0) {
    *error = path + " is a link to nothing readable: " + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(target.st_mode)) {
    *error = path + " is a link to " + Kind(target.st_mode);
    return std::nullopt;
  }
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  if (!real) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return std::string(real.get());
}

}  // namespace platform
