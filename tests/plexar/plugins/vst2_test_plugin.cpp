// SPDX-License-Identifier: GPL-3.0-or-later
// A small VST 2 plug-in on our own declarations that records what the host does. Built as a
// stereo gain effect exporting both entry points, as a synthesizer with no inputs and no
// programs (TESTPLUG2_SYNTH), as a module whose entry point throws (TESTPLUG2_THROW), and as
// the gain effect with an editor that draws with Xlib on every idle call (TESTPLUG2_EDITOR).
#include <sched.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "vst2_test_record.h"
#ifdef TESTPLUG2_EDITOR
#include "x11_panel.h"
#endif

using namespace plexar::testplug2;

namespace {

#ifdef TESTPLUG2_SYNTH
constexpr bool kSynth = true;
#else
constexpr bool kSynth = false;
#endif

struct Instance {
  AEffect effect{};  // first, so that the AEffect pointer is the instance's
  Vst2TestRecord record{};
  HostCallback host = nullptr;
  uint8_t chunk[16] = {};
#ifdef TESTPLUG2_EDITOR
  plexar::testplug::X11Panel panel;
  ERect rect{0, 0, kEditorHeight, kEditorWidth};
#endif
};

// The record of the instance closed last, kept for tests that look after Unload.
Vst2TestRecord closedRecord{};

Instance* Of(AEffect* effect) { return reinterpret_cast<Instance*>(effect); }

const char* const kProgramNames[] = {"Init", "Bright", "Dark"};

void CopyText(void* ptr, const char* text) { std::strcpy(static_cast<char*>(ptr), text); }

intptr_t GetChunk(Instance* self, int32_t index, void** out) {
  std::memcpy(self->chunk, index == 0 ? "TV2B" : "TV2P", 4);
  std::memcpy(self->chunk + 4, self->record.params, 8);
  std::memcpy(self->chunk + 12, &self->record.program, 4);
  *out = self->chunk;
  return sizeof self->chunk;
}

intptr_t SetChunk(Instance* self, intptr_t size, const void* data) {
  if (size != 16 || std::memcmp(data, "TV2", 3) != 0) return 0;
  std::memcpy(self->record.params, static_cast<const uint8_t*>(data) + 4, 8);
  std::memcpy(&self->record.program, static_cast<const uint8_t*>(data) + 12, 4);
  return 1;
}

void TakeEvents(Instance* self, VstEvents* events) {
  ++self->record.eventBatches;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    if (self->record.eventCount < 64) {
      std::memcpy(&self->record.events[self->record.eventCount++], events->events[i],
                  sizeof(VstMidiEvent));
    }
  }
  self->record.echoAnswer = self->host(&self->effect, audioMasterProcessEvents, 0, 0, events, 0);
}

// A null pointer the compiler cannot see through, so the store below stays a real fault.
int* volatile nowhere = nullptr;

// The faults are real ones, not the sanitizers' reports of them. TESTPLUG2_FAULT 3 crashes
// opening its editor.
__attribute__((no_sanitize("undefined", "address"))) [[maybe_unused]] void Crash(int32_t value) {
  *nowhere = value;
}

// Gain shows in decibels (its factor is twice the value, so 0.5 is 0.0 dB), Mix in percent
// kept to 0...100 as many plug-ins do with what they read.
void DisplayParameter(const Vst2TestRecord& r, int32_t index, char* text) {
  const double gain = 2.0 * r.params[0];
  if (index == 0 && gain <= 0) return CopyText(text, "-inf");
  if (index == 0) return (void)std::snprintf(text, 16, "%.1f", 20 * std::log10(gain));
  std::snprintf(text, 16, "%.0f", 100.0 * r.params[1]);
}

intptr_t ReadParameter(Vst2TestRecord& r, int32_t index, const char* text) {
  char* end = nullptr;
  const double plain = std::strtod(text, &end);
  if (end == text || (*end && std::strcmp(end, index == 0 ? "dB" : "%") != 0)) return 0;
  if (index == 0) r.params[0] = static_cast<float>(std::pow(10.0, plain / 20) / 2);
  if (index == 1) r.params[1] = static_cast<float>(std::fmin(std::fmax(plain / 100, 0.0), 1.0));
  return index == 0 || index == 1;
}

intptr_t Dispatcher(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                    float opt) {
  Instance* self = Of(effect);
  Vst2TestRecord& r = self->record;
  if (r.opcodeCount < 512) r.opcodes[r.opcodeCount] = opcode;
  ++r.opcodeCount;
  if (opcode >= 0 && opcode < 128) r.lastValue[opcode] = value;
  if (r.throwOn != 0 && opcode == r.throwOn) throw std::runtime_error("test plug-in refuses");
  switch (opcode) {
    case effClose:
      closedRecord = r;
      delete self;
      return 1;
    case effSetProgram: r.program = static_cast<int32_t>(value); return 0;
    case effGetProgram: return r.program;
    case effGetParamName: CopyText(ptr, index == 0 ? "Gain" : "Mix"); return 0;
    case effGetParamLabel: CopyText(ptr, index == 0 ? "dB" : "%"); return 0;
    case effGetParamDisplay: DisplayParameter(r, index, static_cast<char*>(ptr)); return 0;
    case effString2Parameter: return ReadParameter(r, index, static_cast<const char*>(ptr));
    case effSetSampleRate: r.sampleRate = opt; return 0;
    case effEditOpen:
      r.editParent = reinterpret_cast<intptr_t>(ptr);
#if defined(TESTPLUG2_FAULT) && TESTPLUG2_FAULT == 3
      Crash(1);
#endif
#ifdef TESTPLUG2_EDITOR
      self->panel.Open(reinterpret_cast<unsigned long>(ptr), kEditorWidth, kEditorHeight);
#endif
      return 1;
#ifdef TESTPLUG2_EDITOR
    case effEditGetRect: *static_cast<ERect**>(ptr) = &self->rect; return 1;
    case effEditIdle:
      if (self->panel.IsOpen()) ++r.editIdles, self->panel.Fill(kEditorColour);
      return 0;
    case effEditClose: ++r.editCloses, self->panel.Close(); return 1;
#endif
    case effGetChunk: return GetChunk(self, index, static_cast<void**>(ptr));
    case effSetChunk: return SetChunk(self, value, ptr);
    case effProcessEvents: TakeEvents(self, static_cast<VstEvents*>(ptr)); return 1;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= effect->numPrograms) return 0;
      CopyText(ptr, kProgramNames[index]);
      return 1;
    case effGetEffectName: CopyText(ptr, kSynth ? "Tessary V2 Synth" : "Tessary V2 Test"); return 1;
    case effGetVendorString: CopyText(ptr, "Tarnwick Tests"); return 1;
    case effCanDo: return kSynth && std::strcmp(static_cast<char*>(ptr), "sendVstMidiEvent") == 0;
    case effGetVstVersion: return 2400;
    case kTestRequest: {
      auto* request = static_cast<HostRequest*>(ptr);
      request->answer = self->host(request->as ? request->as : effect, request->opcode,
                                   request->index, request->value, request->ptr, request->opt);
      return 1;
    }
    default: return 0;
  }
}

void SetParameter(AEffect* effect, int32_t index, float value) {
  if (index >= 0 && index < 2) Of(effect)->record.params[index] = value;
}

float GetParameter(AEffect* effect, int32_t index) {
  return index >= 0 && index < 2 ? Of(effect)->record.params[index] : -1.0f;
}

void AskTime(Instance* self) {
  intptr_t answer = self->host(&self->effect, audioMasterGetTime, 0, 0, nullptr, 0);
  self->record.lastTimeAddress = answer;
  if (answer) self->record.lastTime = *reinterpret_cast<const VstTimeInfo*>(answer);
}

template <class T>
void Process(AEffect* effect, T** inputs, T** outputs, int32_t frames) {
  Instance* self = Of(effect);
  AskTime(self);
  const T gain = static_cast<T>(self->record.params[0] * 2);
  for (int32_t k = 0; k < effect->numOutputs; ++k) {
    for (int32_t s = 0; s < frames; ++s) {
      outputs[k][s] = effect->numInputs > 0 ? inputs[k][s] * gain : gain;
    }
  }
}

// Faulty builds misbehave on a loud first sample (0.9 or more), so a test chooses the moment
// by what it plays: TESTPLUG2_FAULT 1 crashes, 2 never returns, 4 takes real-time priority
// (where it may) and keeps the processor busy for good.
__attribute__((no_sanitize("undefined", "address"))) void Misbehave(const AEffect* effect, float** in) {
#if defined(TESTPLUG2_FAULT)
  if (effect->numInputs < 1 || in[0][0] < 0.9f) return;
  if (TESTPLUG2_FAULT == 1) Crash(1);
  if (TESTPLUG2_FAULT == 2) {
    for (;;) pause();
  }
  sched_param realTime{};
  realTime.sched_priority = 10;
  if (TESTPLUG2_FAULT == 4 && sched_setscheduler(0, SCHED_FIFO, &realTime) == 0) {
    for (;;) asm volatile("" ::: "memory");
  }
#else
  (void)effect, (void)in;
#endif
}

void ProcessFloat(AEffect* effect, float** in, float** out, int32_t frames) {
  Misbehave(effect, in);
  ++Of(effect)->record.processCalls;
  Process(effect, in, out, frames);
}

void ProcessDouble(AEffect* effect, double** in, double** out, int32_t frames) {
  ++Of(effect)->record.doubleProcessCalls;
  Process(effect, in, out, frames);
}

AEffect* Create(HostCallback host, int32_t uniqueId) {
#ifdef TESTPLUG2_CRASH_AT_CREATION
  Crash(uniqueId);
#endif
#ifdef TESTPLUG2_THROW
  if (uniqueId != 0) throw std::runtime_error("entry point refuses");
#endif
  auto* self = new Instance;
  self->host = host;
  self->record.hostVersion = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
  self->record.params[0] = 0.5f;
  self->record.params[1] = 0.25f;
  AEffect& e = self->effect;
  e.magic = kEffectMagic;
  e.dispatcher = Dispatcher;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = kSynth ? 0 : 3;
  e.numParams = 2;
  e.numInputs = kSynth ? 0 : 2;
  e.numOutputs = 2;
  e.flags = effFlagsCanReplacing | effFlagsProgramChunks |
            (kSynth ? effFlagsIsSynth : effFlagsCanDoubleReplacing);
#ifdef TESTPLUG2_EDITOR
  e.flags |= effFlagsHasEditor;
#endif
  e.initialDelay = 7;
  e.object = &self->record;
  e.uniqueID = uniqueId;
  e.version = 1;
  e.processReplacing = ProcessFloat;
  e.processDoubleReplacing = kSynth ? nullptr : ProcessDouble;
  return &e;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) Vst2TestRecord* TestClosedRecord() { return &closedRecord; }

__attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
  return Create(host, kIdFromPluginMain);
}

#ifndef TESTPLUG2_SYNTH
// A C++ function cannot be called main with this signature; the symbol is named directly.
__attribute__((visibility("default"))) AEffect* TestPluginMain(HostCallback host) __asm__("main");
AEffect* TestPluginMain(HostCallback host) { return Create(host, kIdFromMain); }
#endif

}
