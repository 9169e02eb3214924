// SPDX-License-Identifier: GPL-3.0-or-later
// VST 3 binary interface, audio side: buses, the component, the audio processor, events,
// parameter changes and the per-block structures.
#pragma once

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

using TChar = char16;
using String128 = TChar[128];
using CString = const char8*;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;
using ParamID = uint32;
using ParamValue = double;
using TQuarterNotes = double;
using TSamples = int64;
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using SpeakerArrangement = uint64;

enum MediaTypes : int32 { kAudio = 0, kEvent = 1 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

inline constexpr SpeakerArrangement kSpeakerArrMono = 0x80000;
inline constexpr SpeakerArrangement kSpeakerArrStereo = 3;

struct BusInfo {
  enum : uint32 { kDefaultActive = 1, kIsControlVoltage = 2 };
  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  BusType busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

class IComponent : public IPluginBase {
 public:
  static constexpr Uid iid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
  virtual tresult getControllerClassId(TUID classId) = 0;
  virtual tresult setIoMode(IoMode mode) = 0;
  virtual int32 getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
  virtual tresult getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
  virtual tresult setActive(TBool state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
};

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  SampleRate sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

struct Chord {
  uint8 keyNote;
  uint8 rootNote;
  int16 chordMask;
};

struct FrameRate {
  uint32 framesPerSecond;
  uint32 flags;
};

struct ProcessContext {
  enum : uint32 {
    kPlaying = 0x2, kCycleActive = 0x4, kRecording = 0x8, kSystemTimeValid = 0x100,
    kProjectTimeMusicValid = 0x200, kTempoValid = 0x400, kBarPositionValid = 0x800,
    kCycleValid = 0x1000, kTimeSigValid = 0x2000, kSmpteValid = 0x4000, kClockValid = 0x8000,
    kContTimeValid = 0x20000, kChordValid = 0x40000,
  };
  uint32 state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64 systemTime;
  TSamples continousTimeSamples;
  TQuarterNotes projectTimeMusic;
  TQuarterNotes barPositionMusic;
  TQuarterNotes cycleStartMusic;
  TQuarterNotes cycleEndMusic;
  double tempo;
  int32 timeSigNumerator;
  int32 timeSigDenominator;
  Chord chord;
  int32 smpteOffsetSubframes;
  FrameRate frameRate;
  int32 samplesToNextClock;
};

struct NoteOnEvent {
  int16 channel;
  int16 pitch;
  float tuning;
  float velocity;
  int32 length;
  int32 noteId;
};

struct NoteOffEvent {
  int16 channel;
  int16 pitch;
  float velocity;
  int32 noteId;
  float tuning;
};

struct DataEvent {
  uint32 size;
  uint32 type;
  const uint8* bytes;
};

struct PolyPressureEvent {
  int16 channel;
  int16 pitch;
  float pressure;
  int32 noteId;
};

struct NoteExpressionValueEvent {
  uint32 typeId;
  int32 noteId;
  double value;
};

struct NoteExpressionTextEvent {
  uint32 typeId;
  int32 noteId;
  uint32 textLen;
  const TChar* text;
};

struct ChordEvent {
  int16 root;
  int16 bassNote;
  int16 mask;
  uint16 textLen;
  const TChar* text;
};

struct ScaleEvent {
  int16 root;
  int16 mask;
  uint16 textLen;
  const TChar* text;
};

struct LegacyMIDICCOutEvent {
  uint8 controlNumber;
  int8 channel;
  int8 value;
  int8 value2;
};

struct Event {
  enum EventTypes : uint16 {
    kNoteOnEvent = 0, kNoteOffEvent = 1, kDataEvent = 2, kPolyPressureEvent = 3,
    kNoteExpressionValueEvent = 4, kNoteExpressionTextEvent = 5, kChordEvent = 6,
    kScaleEvent = 7, kLegacyMIDICCOutEvent = 65535,
  };
  enum EventFlags : uint16 { kIsLive = 1, kUserReserved1 = 0x4000, kUserReserved2 = 0x8000 };
  int32 busIndex;
  int32 sampleOffset;
  TQuarterNotes ppqPosition;
  uint16 flags;
  uint16 type;
  union {
    NoteOnEvent noteOn;
    NoteOffEvent noteOff;
    DataEvent data;
    PolyPressureEvent polyPressure;
    NoteExpressionValueEvent noteExpressionValue;
    NoteExpressionTextEvent noteExpressionText;
    ChordEvent chord;
    ScaleEvent scale;
    LegacyMIDICCOutEvent midiCCOut;
  };
};

class IEventList : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
  virtual int32 getEventCount() = 0;
  virtual tresult getEvent(int32 index, Event& e) = 0;
  virtual tresult addEvent(Event& e) = 0;
};

class IParamValueQueue : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
  virtual ParamID getParameterId() = 0;
  virtual int32 getPointCount() = 0;
  virtual tresult getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
  virtual tresult addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
  virtual int32 getParameterCount() = 0;
  virtual IParamValueQueue* getParameterData(int32 index) = 0;
  virtual IParamValueQueue* addParameterData(const ParamID& id, int32& index) = 0;
};

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
  virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                     SpeakerArrangement* outputs, int32 numOuts) = 0;
  virtual tresult getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
  virtual tresult canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 getLatencySamples() = 0;
  virtual tresult setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult setProcessing(TBool state) = 0;
  virtual tresult process(ProcessData& data) = 0;
  virtual uint32 getTailSamples() = 0;
};

class IProcessContextRequirements : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
  virtual uint32 getProcessContextRequirements() = 0;
};

static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, channelCount) == 8 &&
              offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 &&
              offsetof(BusInfo, flags) == 272);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, maxSamplesPerBlock) == 8 &&
              offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, silenceFlags) == 8 &&
              offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(sizeof(ProcessData) == 80 && offsetof(ProcessData, numOutputs) == 16 &&
              offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, outputs) == 32 &&
              offsetof(ProcessData, inputParameterChanges) == 40 &&
              offsetof(ProcessData, outputParameterChanges) == 48 &&
              offsetof(ProcessData, inputEvents) == 56 && offsetof(ProcessData, outputEvents) == 64 &&
              offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(Chord) == 4 && sizeof(FrameRate) == 8);
static_assert(sizeof(ProcessContext) == 112 && offsetof(ProcessContext, sampleRate) == 8 &&
              offsetof(ProcessContext, projectTimeSamples) == 16 &&
              offsetof(ProcessContext, systemTime) == 24 &&
              offsetof(ProcessContext, continousTimeSamples) == 32 &&
              offsetof(ProcessContext, projectTimeMusic) == 40 &&
              offsetof(ProcessContext, barPositionMusic) == 48 &&
              offsetof(ProcessContext, cycleStartMusic) == 56 &&
              offsetof(ProcessContext, cycleEndMusic) == 64 && offsetof(ProcessContext, tempo) == 72 &&
              offsetof(ProcessContext, timeSigNumerator) == 80 &&
              offsetof(ProcessContext, timeSigDenominator) == 84 &&
              offsetof(ProcessContext, chord) == 88 &&
              offsetof(ProcessContext, smpteOffsetSubframes) == 92 &&
              offsetof(ProcessContext, frameRate) == 96 &&
              offsetof(ProcessContext, samplesToNextClock) == 104);
static_assert(sizeof(NoteOnEvent) == 20 && offsetof(NoteOnEvent, tuning) == 4 &&
              offsetof(NoteOnEvent, velocity) == 8 && offsetof(NoteOnEvent, length) == 12 &&
              offsetof(NoteOnEvent, noteId) == 16);
static_assert(sizeof(NoteOffEvent) == 16 && offsetof(NoteOffEvent, velocity) == 4 &&
              offsetof(NoteOffEvent, noteId) == 8 && offsetof(NoteOffEvent, tuning) == 12);
static_assert(sizeof(DataEvent) == 16 && offsetof(DataEvent, bytes) == 8);
static_assert(sizeof(PolyPressureEvent) == 12);
static_assert(sizeof(NoteExpressionValueEvent) == 16 && offsetof(NoteExpressionValueEvent, value) == 8);
static_assert(sizeof(NoteExpressionTextEvent) == 24 && offsetof(NoteExpressionTextEvent, text) == 16);
static_assert(sizeof(ChordEvent) == 16 && offsetof(ChordEvent, text) == 8);
static_assert(sizeof(ScaleEvent) == 16 && offsetof(ScaleEvent, text) == 8);
static_assert(sizeof(LegacyMIDICCOutEvent) == 4);
static_assert(sizeof(Event) == 48 && offsetof(Event, sampleOffset) == 4 &&
              offsetof(Event, ppqPosition) == 8 && offsetof(Event, flags) == 16 &&
              offsetof(Event, type) == 18 && offsetof(Event, noteOn) == 24);
static_assert(IComponent::iid.bytes[0] == static_cast<char>(0xE8) &&
              IComponent::iid.bytes[4] == static_cast<char>(0xF2));

}  // namespace plexar::vst3
