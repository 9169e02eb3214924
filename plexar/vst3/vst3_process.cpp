// SPDX-License-Identifier: GPL-3.0-or-later
// Buffers and blocks: the per-bus tables over the buffer block, MIDI to note events, parameter
// changes, and the callbacks the host objects forward during processing.
#include <cstring>

#include "plexar/editor/editor.h"
#include "plexar/editor/run_loop.h"
#include "plexar/vst3/vst3_plugin.h"

namespace plexar {

using namespace vst3;

namespace {

constexpr size_t kEventCapacity = 1024;

void FillBuses(std::vector<AudioBusBuffers>& buses, const std::vector<BusInfo>& infos,
               void** table, int32_t channels) {
  buses.clear();
  int32_t next = 0;
  for (const BusInfo& info : infos) {
    AudioBusBuffers bus{};
    bus.numChannels = info.channelCount;
    bus.silenceFlags = 0;
    auto** pointers = new void*[static_cast<size_t>(std::max(info.channelCount, 1))]();
    for (int32_t c = 0; c < info.channelCount && next < channels; ++c) pointers[c] = table[next++];
    bus.channelBuffers32 = reinterpret_cast<Sample32**>(pointers);
    buses.push_back(bus);
  }
}

void FreeBuses(std::vector<AudioBusBuffers>& buses) {
  for (auto& bus : buses) delete[] reinterpret_cast<void**>(bus.channelBuffers32);
  buses.clear();
}

Event NoteEvent(uint8_t status, uint8_t pitch, uint8_t velocity, float velocityScale,
                int32_t offset, bool* made) {
  Event e{};
  e.busIndex = 0;
  e.sampleOffset = offset;
  const uint8_t kind = status & 0xF0;
  const auto channel = static_cast<int16>(status & 0x0F);
  *made = true;
  if (kind == 0x90 && velocity != 0) {
    e.type = Event::kNoteOnEvent;
    e.noteOn = {channel, static_cast<int16>(pitch), 0.0f, velocity / velocityScale, 0, -1};
  } else if (kind == 0x80 || kind == 0x90) {
    e.type = Event::kNoteOffEvent;
    e.noteOff = {channel, static_cast<int16>(pitch), 1.0f, -1, 0.0f};
  } else {
    *made = false;
  }
  return e;
}

}  // namespace

HRESULT VST3::BuildBuffers(bool shared, BSTR* mappingName) {
  if (inputTable || outputTable) return S_FALSE;
  try {
    HRESULT hr = MakeBlock(static_cast<int32_t>(audioInputs.size()),
                           static_cast<int32_t>(audioOutputs.size()), shared, mappingName);
    if (hr != S_OK) return hr;
    FillBuses(inputBuses, busInfos[0], inputTable, inputCount);
    FillBuses(outputBuses, busInfos[1], outputTable, outputCount);
    inputEvents.reserve(kEventCapacity);
    processContext = {};
    processContext.state = ProcessContext::kRecording;
    processContext.sampleRate = sampleRate;
    processData = {};
    processData.processMode = kRealtime;
    processData.symbolicSampleSize = bits == 64 ? kSample64 : kSample32;
    processData.numSamples = blockSize;
    processData.numInputs = static_cast<int32>(inputBuses.size());
    processData.numOutputs = static_cast<int32>(outputBuses.size());
    processData.inputs = inputBuses.empty() ? nullptr : inputBuses.data();
    processData.outputs = outputBuses.empty() ? nullptr : outputBuses.data();
    processData.inputParameterChanges = parameterChanges;
    processData.outputParameterChanges = nullptr;
    processData.inputEvents = eventList;
    processData.outputEvents = eventList;
    processData.processContext = &processContext;
    return S_OK;
  } catch (...) {
    FreeBuffers();
    return E_FAIL;
  }
}

void VST3::FreeFormatBuffers() {
  FreeBuses(inputBuses);
  FreeBuses(outputBuses);
  processData = {};
}

void VST3::StoreTiming(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                       int64_t continuousTime, float projectQuarters, float barStart,
                       float cycleStart, float cycleEnd, float tempo, int32_t numerator,
                       int32_t denominator) {
  processContext.state = state;
  processContext.sampleRate = rate;
  processContext.projectTimeSamples = projectTime;
  processContext.systemTime = systemTime;
  processContext.continousTimeSamples = continuousTime;
  processContext.projectTimeMusic = projectQuarters;
  processContext.barPositionMusic = barStart;
  processContext.cycleStartMusic = cycleStart;
  processContext.cycleEndMusic = cycleEnd;
  processContext.tempo = tempo;
  processContext.timeSigNumerator = numerator;
  processContext.timeSigDenominator = denominator;
}

void VST3::AppendMidiEvent(const MIDI& record) {
  if (record.hasNative) {
    Event e;
    std::memcpy(&e, record.native, sizeof e);
    e.busIndex = 0, e.sampleOffset = record.deltaTime, e.ppqPosition = 0, e.flags = 0;
    inputEvents.push_back(e);
  }
  bool made = false;
  Event e = NoteEvent(record.bytes[0], record.bytes[1], record.bytes[2], 127.0f, record.deltaTime, &made);
  if (made) inputEvents.push_back(e);
}

// Universal MIDI Packets: type 2 carries MIDI 1.0 bytes, type 4 MIDI 2.0 notes with a 16-bit
// velocity in the second word.
void VST3::AppendMidi2Event(const MIDI2& record) {
  if (record.hasNative) {
    Event e;
    std::memcpy(&e, record.native, sizeof e);
    e.busIndex = 0, e.sampleOffset = record.deltaTime, e.ppqPosition = 0, e.flags = 0;
    inputEvents.push_back(e);
  }
  const uint32_t word = record.ump[0];
  const uint32_t type = word >> 28;
  const auto status = static_cast<uint8_t>((word >> 16) & 0xFF);
  const auto pitch = static_cast<uint8_t>((word >> 8) & 0x7F);
  bool made = false;
  Event e{};
  if (type == 2) {
    e = NoteEvent(status, pitch, static_cast<uint8_t>(word & 0x7F), 127.0f, record.deltaTime, &made);
  } else if (type == 4) {
    const uint32_t velocity = record.ump[1] >> 16;
    // The 16-bit velocity becomes a byte only to decide note-on versus note-off.
    e = NoteEvent(status, pitch, velocity ? 1 : 0, 1.0f, record.deltaTime, &made);
    if (made && e.type == Event::kNoteOnEvent) e.noteOn.velocity = velocity / 65535.0f;
  }
  if (made) inputEvents.push_back(e);
}

void VST3::DeliverEvents() {
  DrainMidiQueues([this](const MIDI& m) { AppendMidiEvent(m); },
                  [this](const MIDI2& m) { AppendMidi2Event(m); });
}

void VST3::ProcessBlock() {
  if (!processor) return;
  MyParameterChanges* blockChanges = nullptr;
  if (changesPending.load(std::memory_order_acquire)) {
    std::lock_guard guard(pendingLock);
    changesPending = false;
    if (!pendingChanges.empty()) {
      blockChanges = new MyParameterChanges(this, nullptr);
      blockChanges->Reserve(pendingChanges.size());
      for (const VST3_PC& change : pendingChanges) {
        int32 index = 0;
        const ParamID id = change.id;
        blockChanges->addParameterData(id, index)->addPoint(0, change.value, index);
      }
      pendingChanges.clear();
    }
  }
  processData.inputParameterChanges = blockChanges;
  if (!(processContext.sampleRate > 0)) processData.processContext = nullptr;
  processor->process(processData);
  processor->getTailSamples();
  processData.processContext = &processContext;
  processData.inputParameterChanges = nullptr;
  if (parameterChanges && parameterChanges->getParameterCount() > 0) parameterChanges->Clear();
  inputEvents.clear();
  if (blockChanges) blockChanges->release();
}

// An edit in the plug-in's own editor reaches only its controller; the processor hears it
// when the host passes it on with the next block, as for any parameter set from outside.
void VST3::PerformEdit(ParamID id, ParamValue value) {
  NotifyParameterChanged(static_cast<int32_t>(id), static_cast<float>(value));
  std::lock_guard guard(pendingLock);
  pendingChanges.push_back({id, static_cast<float>(value)});
  changesPending = true;
}

void VST3::SetDirty(bool state) {
  dirty = state;
  NotifyStateChanged(state ? 1 : 0);
}

void* VST3::OfferContextMenu(IPlugView* plugView, const ParamID* param) {
  return AskContextMenu(plugView, param ? static_cast<intptr_t>(*param) : -1);
}

void VST3::ExecuteMenuItem(int32 tag) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnContextMenu(nullptr, tag);
}

void VST3::ResizeView(IPlugView*, ViewRect* rect) {
  viewRect = *rect;
  editor::Relayout(this);
}

int32 VST3::InputEventCount() { return static_cast<int32>(inputEvents.size()); }

bool VST3::InputEvent(int32 index, Event& out) {
  if (index < 0 || static_cast<size_t>(index) >= inputEvents.size()) return false;
  out = inputEvents[static_cast<size_t>(index)];
  return true;
}

void VST3::OutputEvent(const Event& event) {
  BstrArray events(1);
  events[0].assign(reinterpret_cast<const char*>(&event), sizeof event);
  NotifyEvents(events);
}

tresult VST3::QueryHostObjects(const TUID iid, void** obj) {
  if (hostApplication && hostApplication->QueryOwn(iid, obj) == kResultOk) return kResultOk;
  if (componentHandler3 && componentHandler3->QueryOwn(iid, obj) == kResultOk) return kResultOk;
  if (componentHandler2 && componentHandler2->QueryOwn(iid, obj) == kResultOk) return kResultOk;
  if (componentHandler && componentHandler->QueryOwn(iid, obj) == kResultOk) return kResultOk;
  // Plug-ins look for the unit handler on the component handler too.
  if (unitHandler && unitHandler->QueryOwn(iid, obj) == kResultOk) return kResultOk;
  // Views ask the plug frame for the run loop.
  if (runLoop && runLoop->queryInterface(iid, obj) == kResultOk) return kResultOk;
  return kNoInterface;
}

}  // namespace plexar
