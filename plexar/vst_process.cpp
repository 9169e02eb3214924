// SPDX-License-Identifier: GPL-3.0-or-later
// The block contract shared by every format, and the MIDI queues that feed it.
#include <cstring>

#include "plexar/vst.h"

namespace plexar {

HRESULT VST::Process(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                     int64_t continuousTime, float projectQuarters, float barStart,
                     float cycleStart, float cycleEnd, float tempo, int32_t numerator,
                     int32_t denominator) {
  common::ReadGuard guard(pluginLock);
  StoreTiming(state, rate, projectTime, systemTime, continuousTime, projectQuarters, barStart,
              cycleStart, cycleEnd, tempo, numerator, denominator);
  if (!outputTable) return S_OK;
  // Events queued before bypass or silence was switched on are still delivered. The flag is
  // cleared before draining, so an event queued meanwhile keeps it set for the next block.
  if (midiPending.exchange(false)) DeliverEvents();
  if (silence) {
    ClearOutputs();
  } else if (bypass) {
    PassThrough();
  } else {
    ProcessBlock();
  }
  return S_OK;
}

namespace {

template <class Record>
void Enqueue(std::vector<Record>& queue, int32_t& runningTime, Record* records, int32_t count,
             int32_t Record::*delta) {
  if (queue.empty()) runningTime = 0;
  for (int32_t i = 0; i < count; ++i) {
    runningTime += records[i].*delta;
    records[i].*delta = runningTime;  // callers see the offsets that were queued
    queue.push_back(records[i]);
  }
}

}  // namespace

HRESULT VST::AddMidi(void* records, int32_t count, int32_t type) {
  if (!records) return E_POINTER;
  if (count <= 0) return E_INVALIDARG;
  if (bypass || silence) return S_FALSE;
  if (type == 2) {
    common::WriteGuard guard(midi2QueueLock);
    Enqueue(midi2Queue, midi2Time, static_cast<MIDI2*>(records), count, &MIDI2::deltaTime);
  } else {
    common::WriteGuard guard(midiQueueLock);
    Enqueue(midiQueue, midiTime, static_cast<MIDI*>(records), count, &MIDI::deltaTime);
  }
  midiPending = true;
  return S_OK;
}

HRESULT VST::AddMidiArray(ByteArray* array, int32_t count, int32_t type) {
  if (!array) return E_INVALIDARG;
  if (count <= 0) return E_INVALIDARG;
  // A count beyond the array's bytes would read past its end.
  if (array->size() < static_cast<size_t>(count) * sizeof(MIDI)) return E_INVALIDARG;
  // The bytes are copied to aligned records first: a byte array promises no alignment.
  HRESULT hr;
  if (type == 2) {
    std::vector<MIDI2> records(static_cast<size_t>(count));
    std::memcpy(records.data(), array->data(), records.size() * sizeof(MIDI2));
    hr = AddMidi(records.data(), count, type);
    std::memcpy(array->data(), records.data(), records.size() * sizeof(MIDI2));
  } else {
    std::vector<MIDI> records(static_cast<size_t>(count));
    std::memcpy(records.data(), array->data(), records.size() * sizeof(MIDI));
    hr = AddMidi(records.data(), count, type);
    std::memcpy(array->data(), records.data(), records.size() * sizeof(MIDI));
  }
  return hr;
}

}  // namespace plexar
