// SPDX-License-Identifier: GPL-3.0-or-later
// A source through its current chain into a WAV file, as fast as the machine allows.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct AUDIO_IN;
struct VST;

namespace faust {

struct RenderReport {
  double seconds = 0;      // of sound written, the effects' tail included
  double tailSeconds = 0;  // of that, after the end of the file
  // Entries whose render instance crashed or stopped responding, and why: the render went on
  // without them from there.
  std::vector<std::pair<std::shared_ptr<VST>, std::string>> bypassed;
};

/// Writes `source` from its start through its chain as a 48 kHz 16-bit stereo WAV file
/// `target`, then feeds silence until the chain's output stays below -90 dB (10 s at most).
/// The chain's entries run as instances of the render's own, loaded with the same settings,
/// so that a render is the same whether or not the source plays meanwhile. `progress` is told
/// the seconds written now and then. The file appears only when complete:
/// on failure or when `cancel` is set it is not there, and `error` says why.
bool RenderSource(AUDIO_IN& source, const std::string& target, const std::atomic<bool>& cancel,
                  const std::function<void(double)>& progress, RenderReport* report,
                  std::string* error);

}  // namespace faust
