// SPDX-License-Identifier: GPL-3.0-or-later
// The audio thread's side of the plug-in object. Nothing here allocates or locks.
#include <faust/dsp/dsp.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "faust/engine/effect.h"

namespace faust_engine {

tresult FaustEffect::process(ProcessData& data) {
  if (valuesChanged_.exchange(false)) WriteZones();
  const int32 frames = std::max(data.numSamples, 0);
  IParameterChanges* changes = data.inputParameterChanges;
  const int32 queues = changes ? std::clamp(changes->getParameterCount(), 0, kMaxQueues) : 0;
  std::fill_n(cursors_.begin(), queues, 0);
  // Changes take effect at the frame they are marked for: the block is cut there.
  int32 done = 0;
  while (done < frames) {
    const int32 next = ApplyChanges(changes, done, frames);
    for (int32 at = done; at < next; at += maxFrames_) Render(data, at, std::min(maxFrames_, next - at));
    done = next;
  }
  ApplyChanges(changes, INT32_MAX, frames);
  MarkSilence(data, frames);
  return kResultOk;
}

namespace {

template <class Sample>
bool AllZero(const Sample* channel, int32 frames) {
  return std::all_of(channel, channel + frames, [](Sample v) { return v == 0; });
}

}  // namespace

// Hosts skip the work after an effect whose output is marked silent, so mark what is.
void FaustEffect::MarkSilence(ProcessData& data, int32 frames) {
  for (int32 b = 0; b < data.numOutputs && data.outputs; ++b) {
    AudioBusBuffers& bus = data.outputs[b];
    bus.silenceFlags = 0;
    for (int32 c = 0; c < std::min(bus.numChannels, 64); ++c) {
      const bool silent = data.symbolicSampleSize == kSample64
                              ? bus.channelBuffers64 && bus.channelBuffers64[c] &&
                                    AllZero(bus.channelBuffers64[c], frames)
                              : bus.channelBuffers32 && bus.channelBuffers32[c] &&
                                    AllZero(bus.channelBuffers32[c], frames);
      if (silent) bus.silenceFlags |= uint64{1} << c;
    }
  }
}

// Applies every point at or before `until` and returns the next point's frame (at most
// `frames`). Queues past the ones tracked take their last value at once.
int32 FaustEffect::ApplyChanges(IParameterChanges* changes, int32 until, int32 frames) {
  if (!changes) return frames;
  int32 next = frames;
  const int32 count = std::max(changes->getParameterCount(), 0);
  for (int32 q = 0; q < count; ++q) {
    IParamValueQueue* queue = changes->getParameterData(q);
    if (!queue) continue;
    const ParamID id = queue->getParameterId();
    if (id >= controls_.size() && id != kBypassId) continue;
    const int32 points = queue->getPointCount();
    int32 cursor = q < kMaxQueues ? cursors_[q] : std::max(points - 1, 0);
    for (; cursor < points; ++cursor) {
      int32 offset = 0;
      ParamValue value = 0;
      if (queue->getPoint(cursor, offset, value) != kResultOk) continue;
      if (offset > until && q < kMaxQueues) {
        next = std::min(next, offset);
        break;
      }
      if (id == kBypassId) {
        bypass_.store(value >= 0.5 ? 1.0 : 0.0);
        continue;
      }
      values_[id].store(std::clamp(value, 0.0, 1.0));
      *controls_[id].zone = static_cast<float>(controls_[id].ToPlain(value));
    }
    if (q < kMaxQueues) cursors_[q] = cursor;
  }
  return next;
}

void FaustEffect::Render(ProcessData& data, int32 offset, int32 frames) {
  if (frames <= 0 || data.numOutputs < 1 || !data.outputs) return;
  if (!instance_ || Bypassed()) return PassThrough(data, offset, frames);
  if (data.symbolicSampleSize == kSample64) return RenderDouble(data, offset, frames);
  RenderFloat(data, offset, frames);
}

namespace {

template <class Sample>
Sample* Channel(AudioBusBuffers* buses, int32 count, int32 channel) {
  if (count < 1 || !buses || channel >= buses[0].numChannels) return nullptr;
  Sample** table = nullptr;
  if constexpr (sizeof(Sample) == 4) table = buses[0].channelBuffers32;
  else table = buses[0].channelBuffers64;
  return table ? table[channel] : nullptr;
}

}  // namespace

void FaustEffect::RenderFloat(ProcessData& data, int32 offset, int32 frames) {
  float* silent = scratch_.data() + static_cast<size_t>(inputs_ + outputs_) * maxFrames_;
  float* spare = silent + maxFrames_;
  for (int c = 0; c < outputs_; ++c) {
    float* out = Channel<float>(data.outputs, data.numOutputs, c);
    outPointers_[c] = out ? out + offset : spare;
  }
  for (int c = 0; c < inputs_; ++c) {
    float* in = Channel<float>(data.inputs, data.numInputs, c);
    if (!in) {
      inPointers_[c] = silent;
      continue;
    }
    in += offset;
    // Generated code may write one output before it reads another input; a host that
    // processes in place would then feed it its own output.
    if (std::find(outPointers_.begin(), outPointers_.begin() + outputs_, in) !=
        outPointers_.begin() + outputs_) {
      float* copy = scratch_.data() + static_cast<size_t>(c) * maxFrames_;
      std::memcpy(copy, in, sizeof(float) * frames);
      in = copy;
    }
    inPointers_[c] = in;
  }
  instance_->compute(frames, inPointers_.data(), outPointers_.data());
  KeepMeters();
}

void FaustEffect::RenderDouble(ProcessData& data, int32 offset, int32 frames) {
  float* silent = scratch_.data() + static_cast<size_t>(inputs_ + outputs_) * maxFrames_;
  for (int c = 0; c < inputs_; ++c) {
    const double* in = Channel<double>(data.inputs, data.numInputs, c);
    if (!in) {
      inPointers_[c] = silent;
      continue;
    }
    float* copy = scratch_.data() + static_cast<size_t>(c) * maxFrames_;
    for (int32 s = 0; s < frames; ++s) copy[s] = static_cast<float>(in[offset + s]);
    inPointers_[c] = copy;
  }
  for (int c = 0; c < outputs_; ++c) {
    outPointers_[c] = scratch_.data() + static_cast<size_t>(inputs_ + c) * maxFrames_;
  }
  instance_->compute(frames, inPointers_.data(), outPointers_.data());
  KeepMeters();
  for (int c = 0; c < outputs_; ++c) {
    double* out = Channel<double>(data.outputs, data.numOutputs, c);
    if (!out) continue;
    for (int32 s = 0; s < frames; ++s) out[offset + s] = outPointers_[c][s];
  }
}

// Each output takes the input of its number; a mono input feeds every output, and outputs
// with no input of their own are silent. Nothing is delayed: the effect has no latency.
void FaustEffect::PassThrough(ProcessData& data, int32 offset, int32 frames) {
  for (int c = 0; c < outputs_; ++c) {
    const int source = c < inputs_ ? c : inputs_ == 1 ? 0 : -1;
    if (data.symbolicSampleSize == kSample64) {
      double* out = Channel<double>(data.outputs, data.numOutputs, c);
      const double* in = source < 0 ? nullptr : Channel<double>(data.inputs, data.numInputs, source);
      if (out) for (int32 s = 0; s < frames; ++s) out[offset + s] = in ? in[offset + s] : 0.0;
    } else {
      float* out = Channel<float>(data.outputs, data.numOutputs, c);
      const float* in = source < 0 ? nullptr : Channel<float>(data.inputs, data.numInputs, source);
      if (out) for (int32 s = 0; s < frames; ++s) out[offset + s] = in ? in[offset + s] : 0.0f;
    }
  }
}

}  // namespace faust_engine
