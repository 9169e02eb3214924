// SPDX-License-Identifier: GPL-3.0-or-later
// The VST 2 host against the test plug-in: loading, the host callback, processing, MIDI,
// parameters, chunks and banks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "plexar/vst2/vst2_plugin.h"
#include "vst2_test_support.h"

namespace plexar {
namespace {

using namespace vst2;
using testplug2::Count;

const std::filesystem::path kFx = TESSARY_V2FX_SO;
const std::filesystem::path kSynth = TESSARY_V2SYNTH_SO;

class RecordingSink final : public GenericCallback<VSTNOTIFICATION> {
 public:
  HRESULT OnParameterChanged(int32_t id, float value) override {
    changes.emplace_back(id, value);
    return 0;
  }
  HRESULT OnStateChanged(int32_t flag) override {
    states.push_back(flag);
    return 0;
  }
  HRESULT OnEvents(const BstrArray& events) override {
    for (const auto& e : events) raw.push_back(e);
    return 0;
  }
  std::vector<std::pair<int32_t, float>> changes;
  std::vector<int32_t> states;
  BstrArray raw;
};

int32_t IndexOf(const testplug2::Vst2TestRecord* r, int32_t opcode, int32_t from = 0) {
  for (int32_t i = from; i < r->opcodeCount; ++i) {
    if (r->opcodes[i] == opcode) return i;
  }
  return -1;
}

TEST(Vst2LoadTest, EntersThroughMainAndPreparesThePlugin) {
  Vst2Ptr vst = LoadVst2(kFx);
  auto* r = Record(vst.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(EffectOf(vst.get())->uniqueID, testplug2::kIdFromMain);
  EXPECT_EQ(r->hostVersion, 2400);
  EXPECT_EQ(r->opcodes[0], effOpen);
  // The format is set, then the plug-in is switched on and started, last.
  EXPECT_EQ(r->sampleRate, 48000.0f);
  EXPECT_EQ(r->lastValue[effSetBlockSize], 512);
  EXPECT_EQ(Count(r, effSetProcessPrecision), 0);
  EXPECT_EQ(r->opcodes[r->opcodeCount - 2], effMainsChanged);
  EXPECT_EQ(r->lastValue[effMainsChanged], 1);
  EXPECT_EQ(r->opcodes[r->opcodeCount - 1], effStartProcess);
  BSTR name, vendor;
  vst->GetInfo(&name, &vendor);
  EXPECT_EQ(name, "Tessary V2 Test");
  EXPECT_EQ(vendor, "Tarnwick Tests");
  int32_t ai, ao, ei, eo, version = 0, latency = 0;
  ASSERT_EQ(vst->GetChannelCounts(&ai, &ao, &ei, &eo), S_OK);
  EXPECT_EQ((std::vector<int32_t>{ai, ao, ei, eo}), (std::vector<int32_t>{2, 2, 0, 0}));
  BstrArray programs;
  vst->GetNames(kProgramNames, &programs);
  EXPECT_EQ(programs, (BstrArray{"Init", "Bright", "Dark"}));
  vst->GetVstVersion(&version);
  EXPECT_EQ(version, 2400);
  EXPECT_EQ(vst->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 7);
  EXPECT_EQ(vst->CanProcessPrecision(64), S_OK);
  EXPECT_EQ(vst->CanProcessPrecision(16), E_FAIL);
  // Loaded already, a negative class index, no path.
  EXPECT_EQ(vst->Load(&kFx, nullptr, nullptr, 0, 32, 0), S_FALSE);
  EXPECT_EQ(vst->Load(&kFx, nullptr, nullptr, 0, 32, -1), S_FALSE);
  EXPECT_EQ(NewVst2()->Load(nullptr, nullptr, nullptr, 0, 32, 0), E_INVALIDARG);
}

TEST(Vst2LoadTest, SixtyFourBitLoadSetsDoublePrecision) {
  Vst2Ptr vst = LoadVst2(kFx, 64);
  auto* r = Record(vst.get());
  EXPECT_EQ(Count(r, effSetProcessPrecision), 1);
  EXPECT_EQ(r->lastValue[effSetProcessPrecision], 1);
  EXPECT_LT(IndexOf(r, effSetProcessPrecision), IndexOf(r, effSetSampleRate));
}

TEST(Vst2LoadTest, SynthWithoutInputsOrProgramsEntersThroughVstPluginMain) {
  Vst2Ptr vst = LoadVst2(kSynth);
  EXPECT_EQ(EffectOf(vst.get())->uniqueID, testplug2::kIdFromPluginMain);
  int32_t ai, ao, ei, eo;
  vst->GetChannelCounts(&ai, &ao, &ei, &eo);
  EXPECT_EQ((std::vector<int32_t>{ai, ao, ei, eo}), (std::vector<int32_t>{0, 2, 1, 1}));
  std::vector<ProgramRecord> programs;
  ASSERT_EQ(vst->GetPrograms(&programs), S_OK);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].name, "");
  EXPECT_EQ(vst->CanProcessPrecision(64), E_FAIL);
  // A 64-bit block still reaches a float-only plug-in, converted.
  void **ins, **outs;
  ASSERT_EQ(vst->SetFormat(48000, 64, 64, 1), S_OK);
  ASSERT_EQ(vst->GetBuffers(&ins, &outs), S_OK);
  ASSERT_EQ(RunBlock2(vst.get()), S_OK);
  EXPECT_EQ(Record(vst.get())->processCalls, 1);
  EXPECT_DOUBLE_EQ(static_cast<double*>(outs[1])[63], 1.0);  // gain 0.5 * 2, no input
}

TEST(Vst2LoadTest, FailedLoadsLeaveTheObjectReusable) {
  struct Case {
    std::filesystem::path path;
    HRESULT expect;
  } cases[] = {
      {TESSARY_V2THROW_SO, E_UNEXPECTED},      // the entry point throws
      {TESSARY_GAIN_SO, E_FAIL},               // a VST 3 module: no VST 2 entry point
      {"/nonexistent/plugin.so", E_FAIL},
  };
  for (const auto& c : cases) {
    Vst2Ptr vst = LoadVst2(c.path, 32, c.expect);
    float value = 0;
    EXPECT_EQ(vst->GetParameter(0, &value), E_UNEXPECTED);
    EXPECT_EQ(vst->Load(&kFx, nullptr, nullptr, 0, 32, 0), S_OK) << c.path;
    EXPECT_EQ(vst->GetParameter(0, &value), S_OK);
  }
}

TEST(Vst2LoadTest, UnloadStopsSwitchesOffClosesAndAllowsAnotherLoad) {
  // The caller supplies module and entry, so the module outlives Unload and keeps a copy of
  // the record of the instance it closed last.
  void* handle = dlopen(kFx.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr);
  void* entry = dlsym(handle, "VSTPluginMain");
  auto closed = reinterpret_cast<testplug2::Vst2TestRecord* (*)()>(dlsym(handle, "TestClosedRecord"));
  ASSERT_NE(closed, nullptr);
  Vst2Ptr vst = NewVst2();
  ASSERT_EQ(vst->Load(&kFx, handle, entry, 0, 32, 0), S_OK);
  AEffect* effect = EffectOf(vst.get());
  EXPECT_EQ(effect->uniqueID, testplug2::kIdFromPluginMain);
  const int32_t before = Record(vst.get())->opcodeCount;
  ASSERT_EQ(vst->Unload(), S_OK);
  const auto* r = closed();
  ASSERT_EQ(r->opcodeCount, before + 3);
  EXPECT_EQ(r->opcodes[before], effStopProcess);
  EXPECT_EQ(r->opcodes[before + 1], effMainsChanged);
  EXPECT_EQ(r->lastValue[effMainsChanged], 0);
  EXPECT_EQ(r->opcodes[before + 2], effClose);
  EXPECT_EQ(EffectOf(vst.get()), nullptr);
  // Requests in the name of the closed plug-in no longer reach the object.
  EXPECT_EQ(VST2::hostCallback(effect, audioMasterGetSampleRate, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(vst->Load(&kFx, nullptr, nullptr, 0, 32, 0), S_OK);
  EXPECT_EQ(Record(vst.get())->opcodes[0], effOpen);
  vst.reset();
  dlclose(handle);
}

TEST(Vst2LoadTest, DispatcherExceptionsAnswerZero) {
  Vst2Ptr vst = LoadVst2(kFx);
  auto* r = Record(vst.get());
  r->throwOn = effGetVstVersion;
  int32_t version = -1;
  EXPECT_EQ(vst->GetVstVersion(&version), S_OK);
  EXPECT_EQ(version, 0);
  r->program = 2;
  r->throwOn = effGetProgram;
  int32_t program = -1;
  EXPECT_EQ(vst->GetProgram(&program), S_OK);
  EXPECT_EQ(program, 0);
  r->throwOn = 0;
}

TEST(Vst2HostCallbackTest, ProcessWideAnswers) {
  Vst2Ptr vst = LoadVst2(kFx);
  char text[64];
  struct Case {
    int32_t opcode;
    void* ptr;
    intptr_t answer;
  } cases[] = {
      {audioMasterVersion, nullptr, 2400},
      {audioMasterGetCurrentProcessLevel, nullptr, 2},
      {audioMasterGetVendorVersion, nullptr, 2},
      {audioMasterGetLanguage, nullptr, 1},
      {audioMasterUpdateDisplay, nullptr, 0},
      {audioMasterGetVendorString, nullptr, 1},
      {audioMasterCanDo, nullptr, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(AskHost(vst.get(), c.opcode, 0, 0, c.ptr), c.answer) << c.opcode;
  for (int32_t opcode : {audioMasterGetVendorString, audioMasterGetProductString}) {
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(AskHost(vst.get(), opcode, 0, 0, text), 1);
    EXPECT_STREQ(text, "Tarnwick");
  }
  for (auto [capability, answer] : std::vector<std::pair<const char*, intptr_t>>{
           {"sendVstEvents", 1}, {"SENDVSTMIDIEVENT", 1}, {"startStopProcess", 1},
           {"ReportConnectionChanges", 1}, {"receiveVstTimeInfo", -1}, {"", -1}}) {
    char asked[64];
    std::strcpy(asked, capability);
    EXPECT_EQ(AskHost(vst.get(), audioMasterCanDo, 0, 0, asked), answer) << capability;
  }
  // Process-wide answers need no loaded object.
  EXPECT_EQ(VST2::hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 2400);
}

TEST(Vst2HostCallbackTest, PerInstanceAnswers) {
  Vst2Ptr vst = LoadVst2(kFx);
  RecordingSink* sink = new RecordingSink;
  vst->Advise(sink);
  EXPECT_EQ(AskHost(vst.get(), audioMasterGetSampleRate), 48000);
  EXPECT_EQ(AskHost(vst.get(), audioMasterGetBlockSize), 512);
  vst->SetSampleRate(44100);
  EXPECT_EQ(AskHost(vst.get(), audioMasterGetSampleRate), 44100);
  auto* directory = reinterpret_cast<const char*>(AskHost(vst.get(), audioMasterGetDirectory));
  ASSERT_NE(directory, nullptr);
  EXPECT_EQ(std::string(directory), kFx.parent_path().string());
  EXPECT_EQ(AskHost(vst.get(), audioMasterAutomate, 1, 0, nullptr, 0.75f), 0);
  ASSERT_EQ(sink->changes.size(), 1u);
  EXPECT_EQ(sink->changes[0], std::make_pair(1, 0.75f));
  auto* r = Record(vst.get());
  const int32_t idles = Count(r, effEditIdle);
  for (int32_t opcode : {audioMasterIdle, audioMasterBeginEdit, audioMasterEndEdit}) {
    EXPECT_EQ(AskHost(vst.get(), opcode), 0);
  }
  EXPECT_EQ(Count(r, effEditIdle), idles + 3);
  // An unknown request answers 0 and is reported once.
  testing::internal::CaptureStderr();
  EXPECT_EQ(AskHost(vst.get(), audioMasterIOChanged), 0);
  EXPECT_EQ(AskHost(vst.get(), audioMasterIOChanged), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "plexar: VST 2 plug-in request 13 not handled\n");
  // A request made in the name of an AEffect no object loaded answers 0.
  AEffect stranger{};
  EXPECT_EQ(AskHost(vst.get(), audioMasterGetSampleRate, 0, 0, nullptr, 0, &stranger), 0);
  EXPECT_EQ(AskHost(vst.get(), audioMasterGetTime, 0, 0, nullptr, 0, &stranger), 0);
  sink->Release();
}

TEST(Vst2HostCallbackTest, TwoObjectsEachAnswerTheirOwnPlugin) {
  Vst2Ptr a = LoadVst2(kFx);
  Vst2Ptr b = LoadVst2(kFx);
  b->SetBlockSize(256);
  EXPECT_EQ(AskHost(a.get(), audioMasterGetBlockSize), 512);
  EXPECT_EQ(AskHost(b.get(), audioMasterGetBlockSize), 256);
  a.reset();
  EXPECT_EQ(AskHost(b.get(), audioMasterGetBlockSize), 256);
}

TEST(Vst2ProcessTest, BlocksRunInPlaceWithTimeInfo) {
  Vst2Ptr vst = LoadVst2(kFx);
  EXPECT_EQ(RunBlock2(vst.get()), S_OK);  // no buffers: nothing runs
  auto* r = Record(vst.get());
  EXPECT_EQ(r->processCalls, 0);
  void **ins = nullptr, **outs = nullptr;
  ASSERT_EQ(vst->AllocateBuffersEx(&ins, &outs), S_OK);
  EXPECT_EQ(vst->AllocateBuffers(), S_FALSE);
  for (int k = 0; k < 2; ++k) {
    for (int s = 0; s < 512; ++s) static_cast<float*>(ins[k])[s] = 0.25f;
  }
  struct Case {
    float tempo;
    int32_t numerator, denominator;
    int32_t flags;
  } cases[] = {
      {120, 4, 4, kVstTempoValid | kVstTimeSigValid},
      {0, 3, 4, kVstTimeSigValid},
      {90, 0, 4, kVstTempoValid},
      {0, 0, 0, 0},
  };
  int64_t time = 0;
  for (const auto& c : cases) {
    ASSERT_EQ(RunBlock2(vst.get(), c.tempo, c.numerator, c.denominator, time), S_OK);
    EXPECT_EQ(r->lastTime.flags, c.flags) << c.tempo;
    EXPECT_EQ(r->lastTime.tempo, c.tempo);
    EXPECT_EQ(r->lastTime.samplePos, static_cast<double>(time));
    EXPECT_EQ(r->lastTime.sampleRate, 48000.0);
    time += 512;
  }
  EXPECT_EQ(r->processCalls, 4);
  EXPECT_FLOAT_EQ(static_cast<float*>(outs[1])[511], 0.25f);  // gain 0.5 * 2
  vst->SetParameter(0, 1.0f);
  RunBlock2(vst.get());
  EXPECT_FLOAT_EQ(static_cast<float*>(outs[0])[0], 0.5f);
  // Silence and bypass keep the plug-in out of the block.
  vst->SetSilence(1);
  RunBlock2(vst.get());
  EXPECT_EQ(static_cast<float*>(outs[0])[0], 0.0f);
  vst->SetSilence(0);
  vst->SetBypass(1);
  RunBlock2(vst.get());
  EXPECT_EQ(static_cast<float*>(outs[0])[0], 0.25f);
  EXPECT_EQ(r->processCalls, 5);
}

TEST(Vst2ProcessTest, SixtyFourBitBlocksUseDoubleProcessing) {
  Vst2Ptr vst = LoadVst2(kFx, 64);
  void **ins = nullptr, **outs = nullptr;
  ASSERT_EQ(vst->AllocateBuffersEx(&ins, &outs), S_OK);
  static_cast<double*>(ins[0])[3] = 0.125;
  RunBlock2(vst.get());
  auto* r = Record(vst.get());
  EXPECT_EQ(r->doubleProcessCalls, 1);
  EXPECT_EQ(r->processCalls, 0);
  EXPECT_DOUBLE_EQ(static_cast<double*>(outs[0])[3], 0.125);
}

TEST(Vst2ProcessTest, SetFormatSuspendsFreesAndReallocatesOnlyWhenAsked) {
  Vst2Ptr vst = LoadVst2(kFx);
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  auto* r = Record(vst.get());
  const int32_t offs = r->opcodeCount;
  ASSERT_EQ(vst->SetFormat(48000, 512, 32, 0), S_OK);
  void **ins = nullptr, **outs = nullptr;
  vst->GetBuffers(&ins, &outs);
  EXPECT_EQ(ins, nullptr);
  EXPECT_EQ(outs, nullptr);
  EXPECT_EQ(r->opcodes[offs], effMainsChanged);
  EXPECT_EQ(r->lastValue[effMainsChanged], 0);
  ASSERT_EQ(vst->SetFormat(44100, 128, 32, 1), S_OK);
  vst->GetBuffers(&ins, &outs);
  EXPECT_NE(outs, nullptr);
  EXPECT_EQ(r->sampleRate, 44100.0f);
  EXPECT_EQ(r->lastValue[effSetBlockSize], 128);
  EXPECT_EQ(r->lastValue[effMainsChanged], 1);
  // The format went to the plug-in while it was switched off.
  const int32_t rateAt = IndexOf(r, effSetSampleRate, offs);
  EXPECT_EQ(r->opcodes[rateAt - 1], effSetProcessPrecision);
  EXPECT_EQ(r->lastValue[effSetProcessPrecision], 0);
}

TEST(Vst2ProcessTest, QueuedMidiBecomesVstMidiEvents) {
  for (int32_t useOffset : {0, 1}) {
    Vst2Ptr vst = LoadVst2(kSynth);
    RecordingSink* sink = new RecordingSink;
    vst->Advise(sink);
    vst->SetOption(1, useOffset);
    ASSERT_EQ(vst->AllocateBuffers(), S_OK);
    MIDI records[3] = {};
    const int32_t deltas[3] = {10, 0, 5};
    for (int i = 0; i < 3; ++i) {
      records[i].deltaTime = deltas[i];
      records[i].noteOffset = 7;
      records[i].bytes[0] = 0x90, records[i].bytes[1] = static_cast<uint8_t>(60 + i);
      records[i].bytes[2] = 100, records[i].bytes[3] = 0x55;
    }
    ASSERT_EQ(vst->AddMidi(records, 3, 0), S_OK);
    MIDI2 ignored[1] = {};
    ASSERT_EQ(vst->AddMidi(ignored, 1, 2), S_OK);
    RunBlock2(vst.get());
    auto* r = Record(vst.get());
    ASSERT_EQ(r->eventBatches, 1);
    ASSERT_EQ(r->eventCount, 3);
    const int32_t expected[3] = {10, 10, 15};
    for (int i = 0; i < 3; ++i) {
      const VstMidiEvent& e = r->events[i];
      EXPECT_EQ(e.type, kVstMidiType);
      EXPECT_EQ(e.byteSize, 24);
      EXPECT_EQ(e.deltaFrames, expected[i]);
      EXPECT_EQ(e.noteOffset, useOffset ? 7 : 0);
      EXPECT_EQ(static_cast<uint8_t>(e.midiData[1]), 60 + i);
      EXPECT_EQ(e.midiData[3], 0);
    }
    // The plug-in sent them back: one byte string per event.
    ASSERT_EQ(sink->raw.size(), 3u);
    EXPECT_EQ(sink->raw[2].size(), sizeof(VstMidiEvent));
    EXPECT_EQ(static_cast<uint8_t>(sink->raw[2][26]), 100);
    // A block without events sends none.
    RunBlock2(vst.get());
    EXPECT_EQ(r->eventBatches, 1);
    sink->Release();
  }
}

TEST(Vst2ParameterTest, ReadSetAndFormat) {
  Vst2Ptr vst = LoadVst2(kFx);
  std::vector<ParameterRecord> params;
  ASSERT_EQ(vst->GetParameters(&params), S_OK);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].name, "Gain");
  EXPECT_EQ(params[1].name, "Mix");
  EXPECT_EQ(params[1].id, 1);
  EXPECT_FLOAT_EQ(static_cast<float>(params[1].value), 0.25f);
  EXPECT_TRUE(params[1].native.empty());
  float value = 0;
  EXPECT_EQ(vst->SetParameter(1, 1.5f), S_OK);
  EXPECT_EQ(vst->GetParameter(1, &value), S_OK);
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(vst->SetParameter(0, -2.0f), S_OK);
  EXPECT_EQ(vst->GetParameter(0, &value), S_OK);
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(vst->GetParameter(2, &value), E_INVALIDARG);
  EXPECT_EQ(vst->SetParameter(-1, 0.5f), E_INVALIDARG);
  BSTR text;
  EXPECT_EQ(vst->GetParameterText(0, 0.25f, &text), S_OK);
  EXPECT_EQ(text, "0.250");
  char buffer[128];
  EXPECT_EQ(vst->FormatParameter(0, 1234567890123456789.0f, buffer), S_OK);
  EXPECT_EQ(std::strlen(buffer), 20u);
  ASSERT_EQ(vst->SetProgram(2), S_OK);
  int32_t program = 0;
  EXPECT_EQ(vst->GetSelectedUnit(&program), S_OK);
  EXPECT_EQ(program, 2);
}

TEST(Vst2ParameterTest, UnloadedObjectRefuses) {
  Vst2Ptr vst = NewVst2();
  float value;
  int32_t n;
  std::vector<ParameterRecord> params;
  std::vector<ProgramRecord> programs;
  void* native = nullptr;
  const int selector = 1;
  EXPECT_EQ(vst->GetParameter(0, &value), E_UNEXPECTED);
  EXPECT_EQ(vst->SetParameter(0, 0), E_UNEXPECTED);
  EXPECT_EQ(vst->GetParameters(&params), E_UNEXPECTED);
  EXPECT_EQ(vst->GetPrograms(&programs), E_UNEXPECTED);
  EXPECT_EQ(vst->GetProgram(&n), E_UNEXPECTED);
  EXPECT_EQ(vst->SetProgram(0), E_UNEXPECTED);
  EXPECT_EQ(vst->CanProcessPrecision(32), E_UNEXPECTED);
  EXPECT_EQ(vst->GetLatency(&n), E_FAIL);
  EXPECT_EQ(vst->GetNative(&selector, &native), E_NOINTERFACE);
  EXPECT_EQ(vst->GetNative(nullptr, &native), E_POINTER);
  EXPECT_EQ(vst->AllocateBuffers(), E_FAIL);
  EXPECT_EQ(vst->GetVstVersion(&n), S_OK);
  EXPECT_EQ(n, 0);
}

TEST(Vst2StateTest, ChunksAndBankFiles) {
  Vst2Ptr vst = LoadVst2(kFx);
  RecordingSink* sink = new RecordingSink;
  vst->Advise(sink);
  vst->SetParameter(0, 0.75f);
  ByteArray program;
  ASSERT_EQ(vst->GetState(1, &program), S_OK);
  ASSERT_EQ(program.size(), 16u);
  EXPECT_EQ(std::string(program.begin(), program.begin() + 4), "TV2P");
  const auto file = std::filesystem::path(testing::TempDir()) / "tessary_vst2_bank.fxb";
  { std::ofstream(file) << "an older and much longer file that must be replaced whole"; }
  ASSERT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, &file), S_OK);
  EXPECT_EQ(std::filesystem::file_size(file), 16u);
  EXPECT_EQ(sink->states, std::vector<int32_t>{1});
  // Into a fresh instance, from the file and from bytes.
  Vst2Ptr fresh = LoadVst2(kFx);
  ASSERT_EQ(fresh->PresetFileCmd(nullptr, 1, nullptr, &file), S_OK);
  float value = 0;
  fresh->GetParameter(0, &value);
  EXPECT_EQ(value, 0.75f);
  std::vector<uint8_t> bytes;
  vst->SetParameter(0, 0.125f);
  ASSERT_EQ(vst->PresetFileCmd(nullptr, 0, &bytes, nullptr), S_OK);
  ASSERT_EQ(fresh->PresetFileCmd(nullptr, 1, &bytes, nullptr), S_OK);
  fresh->GetParameter(0, &value);
  EXPECT_EQ(value, 0.125f);
  // No file named, an unreadable file, an empty state, an unknown mode.
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, nullptr), E_ABORT);
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 1, nullptr, nullptr), E_ABORT);
  const std::filesystem::path missing = "/nonexistent/bank.fxb";
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 1, nullptr, &missing), E_FAIL);
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, &missing), E_FAIL);
  const ByteArray empty;
  EXPECT_EQ(vst->SetState(0, &empty), E_INVALIDARG);
  EXPECT_EQ(vst->SetState(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 2, &bytes, nullptr), E_NOTIMPL);
  std::filesystem::remove(file);
  sink->Release();
}

TEST(Vst2StateTest, PluginWithoutChunkSavesNothing) {
  Vst2Ptr vst = LoadVst2(kFx);
  Record(vst.get())->throwOn = effGetChunk;  // answers 0 bytes
  ByteArray state{1, 2, 3};
  ASSERT_EQ(vst->GetState(0, &state), S_OK);
  EXPECT_TRUE(state.empty());
  const auto file = std::filesystem::path(testing::TempDir()) / "tessary_vst2_none.fxb";
  std::filesystem::remove(file);
  EXPECT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, &file), S_OK);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(Vst2EditorTest, AttachAndKeysReachThePlugin) {
  Vst2Ptr vst = LoadVst2(kFx);
  int parent = 0;
  EXPECT_EQ(vst->AttachEditor(&parent), S_OK);
  EXPECT_EQ(vst->AttachEditor(&parent), S_FALSE);
  auto* r = Record(vst.get());
  EXPECT_EQ(r->editParent, reinterpret_cast<intptr_t>(&parent));
  vst->KeyDown(65);
  EXPECT_EQ(r->lastValue[effEditKeyDown], 65);
  EXPECT_EQ(vst->AttachEditor(nullptr), S_OK);
  EXPECT_EQ(Count(r, effEditClose), 1);
  // The frame needs an X server, which this test does not have.
  unsetenv("DISPLAY");
  EXPECT_EQ(vst->ShowEditor(nullptr, 0, 0), E_FAIL);
}

}  // namespace
}  // namespace plexar
