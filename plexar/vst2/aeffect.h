// SPDX-License-Identifier: GPL-3.0-or-later
// The VST 2 binary interface as the host uses it: the plug-in's AEffect structure, events,
// the time record, flag bits and opcode numbers, declared from the published layout. The
// offsets are those of x86-64 Linux (LP64, natural alignment) and are checked below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plexar::vst2 {

struct AEffect;

/// Host callback and plug-in dispatcher share one shape.
using DispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                    intptr_t value, void* ptr, float opt);
using HostCallback = DispatcherProc;
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, int32_t frames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                   int32_t frames);
using SetParameterProc = void (*)(AEffect* effect, int32_t index, float value);
using GetParameterProc = float (*)(AEffect* effect, int32_t index);
/// "main" or "VSTPluginMain".
using EntryProc = AEffect* (*)(HostCallback host);

inline constexpr int32_t kEffectMagic = 0x56737450;  // 'VstP'

struct AEffect {
  int32_t magic;
  DispatcherProc dispatcher;
  ProcessProc process;  // accumulating process, obsolete
  SetParameterProc setParameter;
  GetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t resvd1;
  intptr_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  ProcessProc processReplacing;
  ProcessDoubleProc processDoubleReplacing;
  char future[56];
};

// AEffect::flags
inline constexpr int32_t effFlagsHasEditor = 1 << 0;
inline constexpr int32_t effFlagsCanReplacing = 1 << 4;
inline constexpr int32_t effFlagsProgramChunks = 1 << 5;
inline constexpr int32_t effFlagsIsSynth = 1 << 8;
inline constexpr int32_t effFlagsNoSoundInStop = 1 << 9;
inline constexpr int32_t effFlagsCanDoubleReplacing = 1 << 12;

/// Common head of every event; `byteSize` counts the bytes after `type` and `byteSize`.
struct VstEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  char data[16];
};

inline constexpr int32_t kVstMidiType = 1;
inline constexpr int32_t kVstSysExType = 6;

struct VstMidiEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t noteLength;
  int32_t noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t dumpBytes;
  intptr_t resvd1;
  char* sysexDump;
  intptr_t resvd2;
};

/// Header of an event list; `events` continues past its two declared slots.
struct VstEvents {
  int32_t numEvents;
  intptr_t reserved;
  VstEvent* events[2];
};

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  int32_t smpteOffset;
  int32_t smpteFrameRate;
  int32_t samplesToNextClock;
  int32_t flags;
};

// VstTimeInfo::flags
inline constexpr int32_t kVstTransportChanged = 1 << 0;
inline constexpr int32_t kVstTransportPlaying = 1 << 1;
inline constexpr int32_t kVstNanosValid = 1 << 8;
inline constexpr int32_t kVstPpqPosValid = 1 << 9;
inline constexpr int32_t kVstTempoValid = 1 << 10;
inline constexpr int32_t kVstBarsValid = 1 << 11;
inline constexpr int32_t kVstCyclePosValid = 1 << 12;
inline constexpr int32_t kVstTimeSigValid = 1 << 13;

/// Opcodes the host sends through the dispatcher.
enum EffectOpcode : int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effCanDo = 51,
  effGetTailSize = 52,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetProcessPrecision = 77,
};

/// Opcodes a plug-in sends to the host callback.
enum HostOpcode : int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

/// The editor's rectangle, answered by effEditGetRect through a pointer the plug-in keeps.
struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

inline constexpr int32_t kVstProcessPrecision32 = 0;
inline constexpr int32_t kVstProcessPrecision64 = 1;

// The layout as x86-64 Linux plug-ins are built against it.
static_assert(sizeof(void*) == 8, "the declarations are for a 64-bit build");
static_assert(sizeof(AEffect) == 192);
static_assert(offsetof(AEffect, dispatcher) == 8 && offsetof(AEffect, setParameter) == 24 &&
              offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40 && offsetof(AEffect, numParams) == 44 &&
              offsetof(AEffect, numInputs) == 48 && offsetof(AEffect, numOutputs) == 52 &&
              offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, initialDelay) == 80 && offsetof(AEffect, object) == 96 &&
              offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, processReplacing) == 120 &&
              offsetof(AEffect, processDoubleReplacing) == 128 && offsetof(AEffect, future) == 136);
static_assert(sizeof(ERect) == 8);
static_assert(sizeof(VstEvent) == 32 && sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8 && offsetof(VstMidiEvent, noteOffset) == 20 &&
              offsetof(VstMidiEvent, midiData) == 24 && offsetof(VstMidiEvent, detune) == 28);
static_assert(sizeof(VstMidiSysexEvent) == 48 && offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(offsetof(VstEvents, reserved) == 8 && offsetof(VstEvents, events) == 16 &&
              sizeof(VstEvents) == 32);
static_assert(sizeof(VstTimeInfo) == 88 && offsetof(VstTimeInfo, tempo) == 32 &&
              offsetof(VstTimeInfo, timeSigNumerator) == 64 && offsetof(VstTimeInfo, flags) == 84);

}  // namespace plexar::vst2
