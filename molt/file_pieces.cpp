// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/file_pieces.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace Molt {

bool ReadInPieces(const std::filesystem::path& path,
                  const std::function<void(std::span<const std::uint8_t>)>& piece) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<std::uint8_t> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    piece({buffer.data(), static_cast<std::size_t>(got)});
  }
  close(fd);
  return ok;
}

}  // namespace Molt
