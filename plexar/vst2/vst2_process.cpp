// SPDX-License-Identifier: GPL-3.0-or-later
// Buffers, timing, MIDI and the block itself for a VST 2 plug-in.
#include <cstring>

#include "plexar/vst2/vst2_plugin.h"

namespace plexar {

using namespace vst2;

HRESULT VST2::BuildBuffers(bool shared, BSTR* mappingName) {
  if (inputTable || outputTable) return S_FALSE;
  try {
    // The format is only taken while the plug-in is switched off.
    if (mainsOn) Suspend(1);
    SendFormat(true);
    Resume(1);
    if (!effect) return E_FAIL;
    HRESULT hr = MakeBlock(static_cast<int32_t>(audioInputs.size()),
                           static_cast<int32_t>(audioOutputs.size()), shared, mappingName);
    if (hr != S_OK) return hr;
    if (bits == 64 && !effect->processDoubleReplacing) {
      const size_t frames = static_cast<size_t>(blockSize < 0 ? 0 : blockSize);
      floatChannels.assign(frames * static_cast<size_t>(inputCount + outputCount), 0.0f);
      floatInputs.resize(static_cast<size_t>(inputCount));
      floatOutputs.resize(static_cast<size_t>(outputCount));
      for (int32_t k = 0; k < inputCount; ++k) floatInputs[k] = floatChannels.data() + k * frames;
      for (int32_t k = 0; k < outputCount; ++k) {
        floatOutputs[k] = floatChannels.data() + (inputCount + k) * frames;
      }
    }
    return S_OK;
  } catch (...) {
    FreeBuffers();
    return E_FAIL;
  }
}

void VST2::FreeFormatBuffers() {
  floatChannels = {};
  floatInputs = {};
  floatOutputs = {};
}

void VST2::StoreTiming(uint32_t, int32_t rate, int64_t projectTime, int64_t, int64_t, float,
                       float, float, float, float tempo, int32_t numerator, int32_t denominator) {
  timeInfo.samplePos = static_cast<double>(projectTime);
  timeInfo.sampleRate = rate;
  timeInfo.tempo = tempo;
  timeInfo.timeSigNumerator = numerator;
  timeInfo.timeSigDenominator = denominator;
  int32_t flags = 0;
  if (tempo != 0) flags |= kVstTempoValid;
  if (numerator != 0 && denominator != 0) flags |= kVstTimeSigValid;
  timeInfo.flags = flags;
}

void VST2::DeliverEvents() {
  size_t count = 0;
  {
    common::WriteGuard guard(midiQueueLock);
    count = midiQueue.size();
    if (midiEvents.size() < count + 10) midiEvents.resize(count + 10);
    for (size_t i = 0; i < count; ++i) {
      const MIDI& record = midiQueue[i];
      VstMidiEvent& event = midiEvents[i];
      event = {};
      event.type = kVstMidiType;
      event.byteSize = sizeof(VstMidiEvent) - 8;
      event.deltaFrames = record.deltaTime;
      event.noteOffset = useNoteOffset == 1 ? record.noteOffset : 0;
      for (int b = 0; b < 3; ++b) event.midiData[b] = static_cast<char>(record.bytes[b]);
    }
    midiQueue.clear();
  }
  {
    // A VST 2 plug-in takes no MIDI 2.0 packets; they are dropped rather than left to pile up.
    common::WriteGuard guard(midi2QueueLock);
    midi2Queue.clear();
  }
  if (count == 0) return;
  const size_t words = (8 * count + 1032 + 7) / 8;
  if (eventList.size() < words) eventList.resize(words);
  auto* list = reinterpret_cast<VstEvents*>(eventList.data());
  list->numEvents = static_cast<int32_t>(count);
  list->reserved = 0;
  auto** slots = reinterpret_cast<VstEvent**>(eventList.data() + offsetof(VstEvents, events) / 8);
  for (size_t i = 0; i < count; ++i) slots[i] = reinterpret_cast<VstEvent*>(&midiEvents[i]);
  Dispatch(effProcessEvents, 0, 0, list);
}

void VST2::ProcessBlock() {
  // A plug-in that grew its channel counts after allocation would run past the tables.
  if (!effect || effect->numInputs > inputCount || effect->numOutputs > outputCount) {
    ClearOutputs();
    return;
  }
  try {
    if (bits == 64 && effect->processDoubleReplacing) {
      effect->processDoubleReplacing(effect, reinterpret_cast<double**>(inputTable),
                                     reinterpret_cast<double**>(outputTable), blockSize);
    } else if (bits == 64) {
      ProcessDoublesThroughFloats();
    } else if (effect->processReplacing) {
      effect->processReplacing(effect, reinterpret_cast<float**>(inputTable),
                               reinterpret_cast<float**>(outputTable), blockSize);
    } else {
      ClearOutputs();
    }
  } catch (...) {
    ClearOutputs();
  }
}

// 64-bit channels for a plug-in that only processes floats: converted on the way in and out
// instead of handing it doubles it would read as floats.
void VST2::ProcessDoublesThroughFloats() {
  if (!effect->processReplacing || floatOutputs.size() != static_cast<size_t>(outputCount)) {
    ClearOutputs();
    return;
  }
  const int32_t frames = blockSize;
  for (int32_t k = 0; k < inputCount; ++k) {
    const auto* from = static_cast<const double*>(inputTable[k]);
    for (int32_t s = 0; s < frames; ++s) floatInputs[k][s] = static_cast<float>(from[s]);
  }
  effect->processReplacing(effect, floatInputs.data(), floatOutputs.data(), frames);
  for (int32_t k = 0; k < outputCount; ++k) {
    auto* to = static_cast<double*>(outputTable[k]);
    for (int32_t s = 0; s < frames; ++s) to[s] = floatOutputs[k][s];
  }
}

}  // namespace plexar
