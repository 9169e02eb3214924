// SPDX-License-Identifier: GPL-3.0-or-later
// Any audio file FFmpeg reads, decoded packet by packet to 48 kHz interleaved stereo floats.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace faust {

class AudioDecoder {
 public:
  enum class Result { Samples, End, Failed };

  AudioDecoder();
  ~AudioDecoder();
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  /// Opens the file's best audio stream; false with a reason a person can read.
  bool Open(const std::string& file, std::string* error);
  /// Replaces `samples` with the frames of the next packet (possibly none, when the decoder
  /// is still filling up). At the end the resampler's last frames come with `End`.
  Result Read(std::vector<float>* samples);
  /// Back to the first frame.
  bool Rewind();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

/// Checks that FFmpeg can open `file` and decode its first audio; the reason when not.
bool CanDecode(const std::string& file, std::string* error);

}  // namespace faust
