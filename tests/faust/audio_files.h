// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files for the tests: exact samples written with libsndfile, other formats made by
// the ffmpeg command.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace faust_test {

/// A 16-bit WAV file with these interleaved samples.
inline void WriteWav(const std::filesystem::path& file, const std::vector<int16_t>& samples,
                     int channels, int rate) {
  SF_INFO info{};
  info.samplerate = rate, info.channels = channels, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  sf_write_short(out, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(out);
}

/// Interleaved 16-bit samples of a WAV file.
inline std::vector<int16_t> ReadWav(const std::filesystem::path& file, SF_INFO* info) {
  *info = {};
  SNDFILE* in = sf_open(file.c_str(), SFM_READ, info);
  if (!in) return {};
  std::vector<int16_t> samples(static_cast<size_t>(info->frames * info->channels));
  sf_read_short(in, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(in);
  return samples;
}

/// Runs ffmpeg quietly with these arguments; true when it made the file.
inline bool Ffmpeg(const std::string& arguments, const std::filesystem::path& file) {
  const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments + " '" +
                              file.string() + "'";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(file);
}

/// The 16-bit sample a float becomes on its way to the sound card.
inline int16_t Pcm(float x) {
  x = x < -1 ? -1 : x > 1 ? 1 : x;
  return static_cast<int16_t>(x * 32767.5);
}

}  // namespace faust_test
