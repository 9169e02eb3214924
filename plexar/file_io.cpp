// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/file_io.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

namespace plexar {

bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWholeFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::filesystem::path temp = file;
  temp += ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, file, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

}  // namespace plexar
