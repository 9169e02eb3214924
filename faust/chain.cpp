// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/chain.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "faust/rack.h"
#include "plexar/vst.h"

namespace faust {

void RunChain(const std::vector<std::shared_ptr<VST>>& chain, float* left, float* right) {
  constexpr size_t kBytes = sizeof(float) * kBlockFrames;
  for (const auto& record : chain) {
    if (!record) continue;
    std::lock_guard guard(record->processLock);
    if (!record->inputs || !record->outputs || !record->plugin) continue;
    if (record->numInputs > 0) std::memcpy(record->inputs[0], left, kBytes);
    if (record->numInputs > 1) std::memcpy(record->inputs[1], right, kBytes);
    record->plugin->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    if (record->numOutputs < 1) continue;
    std::memcpy(left, record->outputs[0], kBytes);
    std::memcpy(right, record->outputs[record->numOutputs > 1 ? 1 : 0], kBytes);
  }
}

void AppendPcm16(const float* samples, size_t count, std::vector<int16_t>* pcm) {
  pcm->reserve(pcm->size() + count);
  for (size_t i = 0; i < count; ++i) {
    // NaN from a broken plug-in would make the conversion undefined; it plays as silence.
    const float x = samples[i] == samples[i] ? std::clamp(samples[i], -1.0f, 1.0f) : 0.0f;
    pcm->push_back(static_cast<int16_t>(x * kPcmScale));
  }
}

}  // namespace faust
