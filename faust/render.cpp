// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/render.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "faust/audio_decoder.h"
#include "faust/audio_in.h"
#include "faust/chain.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/write_target.h"
#include "plexar/remote/remote_vst.h"

namespace faust {

namespace {

constexpr double kSilence = 3.1623e-5;  // -90 dB
constexpr int kQuietBlocks = 10;        // this long below it counts as the end of the tail
constexpr int kMaxTailBlocks = 10 * 48000 / kBlockFrames;

class WavWriter {
 public:
  ~WavWriter() {
    if (file_) sf_close(file_);
    if (!temporary_.empty()) unlink(temporary_.c_str());
  }
  bool Open(const std::string& target, std::string* error) {
    target_ = target;
    temporary_ = target + ".XXXXXX";
    int fd = mkstemp(temporary_.data());
    if (fd < 0) {
      temporary_.clear();
      return *error = "cannot write " + target, false;
    }
    fchmod(fd, 0644);  // a sound file to share, not a secret like mkstemp assumes
    SF_INFO info{};
    info.samplerate = 48000, info.channels = 2, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file_) return *error = sf_strerror(nullptr), false;
    return true;
  }
  bool Write(const std::vector<int16_t>& pcm) {
    return sf_write_short(file_, pcm.data(), static_cast<sf_count_t>(pcm.size())) ==
           static_cast<sf_count_t>(pcm.size());
  }
  // Renamed into place only once every byte is on disk.
  bool Finish(std::string* error) {
    sf_write_sync(file_);
    const bool closed = sf_close(file_) == 0;
    file_ = nullptr;
    if (!closed || rename(temporary_.c_str(), target_.c_str()) != 0) {
      return *error = "cannot write " + target_, false;
    }
    temporary_.clear();
    return true;
  }

 private:
  SNDFILE* file_ = nullptr;
  std::string target_, temporary_;
};

using Chain = std::vector<std::shared_ptr<VST>>;

// The render's own instances of the chain's entries: sharing the playing ones, each would
// disturb the other's state (delay lines, envelopes). An entry twice in the chain is one
// instance twice here too.
using Copies = std::map<std::shared_ptr<VST>, std::shared_ptr<VST>>;

bool CopyChain(AUDIO_IN& source, Chain* chain, Copies* copies, std::string* error) {
  Chain entries;
  {
    std::lock_guard guard(workbenchLock);
    entries = source.chain;
  }
  for (const auto& entry : entries) {
    if (!entry || !entry->plugin) continue;
    std::shared_ptr<VST>& copy = (*copies)[entry];
    if (!copy && !(copy = LoadCopy(*entry, error))) return false;
    // Nothing plays in real time here: a slow block is waited for, up to where a host that
    // holds one counts as hung.
    if (auto* remote = plexar::remote::AsRemote(copy->plugin)) remote->SetBlockDeadline(std::chrono::seconds(2));
    chain->push_back(copy);
  }
  return true;
}

// A render instance in a host that ended, or still holding a block it was sent, passed the
// rest of the render by dry.
void ListBypassed(const Copies& copies, RenderReport* report) {
  for (const auto& [entry, copy] : copies) {
    auto* remote = plexar::remote::AsRemote(copy->plugin);
    if (!remote) continue;
    std::string why = remote->EndText();
    if (why.empty() && remote->Late()) why = "stopped responding";
    if (!why.empty()) report->bypassed.emplace_back(entry, why);
  }
}

// One block through the render's own chain, which nothing else touches; returns its peak.
float RunBlock(const Chain& chain, std::vector<float>& left, std::vector<float>& right,
               std::vector<float>& interleaved) {
  RunChain(chain, left.data(), right.data());
  float peak = 0;
  interleaved.resize(2 * kBlockFrames);
  for (int32_t i = 0; i < kBlockFrames; ++i) {
    interleaved[2 * i] = left[i], interleaved[2 * i + 1] = right[i];
    peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  }
  return peak;
}

class Renderer {
 public:
  Renderer(const Chain& chain, WavWriter& wav) : chain(chain), wav(wav) {}

  const Chain& chain;
  WavWriter& wav;
  std::vector<float> left = std::vector<float>(kBlockFrames), right = left, interleaved;
  std::vector<int16_t> pcm;
  int64_t blocks = 0;

  // Frames from `at` (a whole block, zero-padded at the end of the file) into the file.
  bool Block(const float* frames, size_t count, float* peak) {
    std::fill(left.begin(), left.end(), 0.0f), std::fill(right.begin(), right.end(), 0.0f);
    for (size_t i = 0; i < count; ++i) left[i] = frames[2 * i], right[i] = frames[2 * i + 1];
    *peak = RunBlock(chain, left, right, interleaved);
    pcm.clear();
    AppendPcm16(interleaved.data(), interleaved.size(), &pcm);
    ++blocks;
    return wav.Write(pcm);
  }
  double Seconds() const { return static_cast<double>(blocks * kBlockFrames) / 48000.0; }
};

}  // namespace

bool RenderSource(AUDIO_IN& source, const std::string& target, const std::atomic<bool>& cancel,
                  const std::function<void(double)>& progress, RenderReport* report,
                  std::string* error) {
  // Refused before the work: renaming over a device, a FIFO or a link would replace it.
  std::optional<std::string> place = platform::WritableFile(target, error);
  if (!place) return false;
  AudioDecoder decoder;
  WavWriter wav;
  Chain chain;
  Copies copies;
  if (!decoder.Open(source.file, error) || !CopyChain(source, &chain, &copies, error) ||
      !wav.Open(*place, error)) {
    return false;
  }
  Renderer renderer(chain, wav);
  std::vector<float> decoded, pending;
  float peak = 0;
  double nextReport = 0;
  for (bool end = false; !end;) {
    if (cancel.load()) return *error = "cancelled", false;
    const auto result = decoder.Read(&decoded);
    if (result == AudioDecoder::Result::Failed) return *error = "cannot decode " + source.file, false;
    end = result == AudioDecoder::Result::End;
    pending.insert(pending.end(), decoded.begin(), decoded.end());
    size_t used = 0;
    while (used < pending.size() && (pending.size() - used >= 2 * kBlockFrames || end)) {
      const size_t frames = std::min<size_t>(kBlockFrames, (pending.size() - used) / 2);
      if (!renderer.Block(pending.data() + used, frames, &peak)) return *error = "cannot write " + target, false;
      used += 2 * frames;
      if (frames == 0) break;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
    if (progress && renderer.Seconds() >= nextReport) {
      progress(renderer.Seconds());
      nextReport = renderer.Seconds() + 0.5;
    }
  }
  const int64_t fileBlocks = renderer.blocks;
  for (int quiet = 0, tail = 0; !chain.empty() && quiet < kQuietBlocks && tail < kMaxTailBlocks; ++tail) {
    if (cancel.load()) return *error = "cancelled", false;
    if (!renderer.Block(nullptr, 0, &peak)) return *error = "cannot write " + target, false;
    quiet = peak < kSilence ? quiet + 1 : 0;
  }
  if (!wav.Finish(error)) return false;
  if (progress) progress(renderer.Seconds());
  if (report) {
    ListBypassed(copies, report);
    report->seconds = renderer.Seconds();
    report->tailSeconds = static_cast<double>((renderer.blocks - fileBlocks) * kBlockFrames) / 48000.0;
  }
  return true;
}

}  // namespace faust
