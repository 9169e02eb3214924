// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace faust_test {

/// Points libasound at a configuration of our own with one PCM, "capture:FILE=path", that
/// discards the sound like a sound card would and writes every byte played to `path`. Call
/// before the process first uses ALSA; returns the configuration file, for removal.
inline std::filesystem::path UseCaptureAlsaConfig() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tessary-alsa-" + std::to_string(getpid()) + ".conf");
  std::ofstream(path) << "pcm.capture {\n"
                         "  @args [ FILE ]\n"
                         "  @args.FILE { type string }\n"
                         "  type file\n"
                         "  slave.pcm { type null }\n"
                         "  file $FILE\n"
                         "  format \"raw\"\n"
                         "}\n";
  setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  return path;
}

inline std::string CaptureDevice(const std::filesystem::path& file) {
  return "capture:FILE=" + file.string();
}

inline std::vector<char> ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace faust_test
