// SPDX-License-Identifier: GPL-3.0-or-later
// The format-neutral part of the plug-in object, through a minimal fake format.
#include "plexar/vst.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

namespace plexar {
namespace {

// A format that only records what the base asks of it.
class FakeVst final : public VST {
 public:
  FakeVst(int32_t ins, int32_t outs) {
    audioInputs.resize(static_cast<size_t>(ins));
    audioOutputs.resize(static_cast<size_t>(outs));
  }
  HRESULT GetProgram(int32_t*) override { return E_NOTIMPL; }
  HRESULT SetProgram(int32_t) override { return E_NOTIMPL; }
  HRESULT GetState(int32_t, ByteArray*) override { return E_NOTIMPL; }
  HRESULT SetState(int32_t, const ByteArray*) override { return E_NOTIMPL; }
  HRESULT GetParameter(int32_t, float*) override { return E_NOTIMPL; }
  HRESULT SetParameter(int32_t, float) override { return E_NOTIMPL; }
  HRESULT GetSelectedUnit(int32_t*) override { return E_NOTIMPL; }
  HRESULT SelectUnit(int32_t) override { return E_NOTIMPL; }
  HRESULT Load(const std::filesystem::path*, void*, void*, int32_t, int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT ShowEditor(HWND, int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT GetVstVersion(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unload() override { ++unloads; return S_OK; }
  HRESULT Suspend(int32_t) override { ++suspends; return S_OK; }
  HRESULT Resume(int32_t) override { ++resumes; return S_OK; }
  HRESULT KeyDown(int32_t) override { return E_NOTIMPL; }
  HRESULT KeyUp(int32_t) override { return E_NOTIMPL; }
  HRESULT GetParameters(std::vector<ParameterRecord>*) override { return E_NOTIMPL; }
  HRESULT SetFormat(int32_t, int32_t, int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT AttachEditor(HWND) override { return E_NOTIMPL; }
  HRESULT CanProcessPrecision(int32_t) override { return E_NOTIMPL; }
  HRESULT GetLatency(int32_t*) override { return E_NOTIMPL; }
  HRESULT GetPrograms(std::vector<ProgramRecord>* p) override { *p = {{"One", 3, "/x/one.vstpreset"}}; return S_OK; }
  HRESULT GetNative(const void*, void**) override { return E_NOTIMPL; }
  HRESULT GetParameterText(int32_t, float, BSTR*) override { return E_NOTIMPL; }
  HRESULT FormatParameter(int32_t, float, char*) override { return E_NOTIMPL; }
  HRESULT PresetFileCmd(HWND, int32_t, std::vector<uint8_t>*, const std::filesystem::path*) override { return E_NOTIMPL; }

  int unloads = 0, suspends = 0, resumes = 0, blocks = 0;
  std::vector<MIDI> delivered;

 protected:
  void StoreTiming(uint32_t, int32_t, int64_t, int64_t, int64_t, float, float, float, float, float,
                   int32_t, int32_t) override {}
  void DeliverEvents() override {
    DrainMidiQueues([this](const MIDI& m) { delivered.push_back(m); }, [](const MIDI2&) {});
  }
  void ProcessBlock() override { ++blocks; }
  HRESULT BuildBuffers(bool shared, BSTR* mappingName) override {
    return MakeBlock(static_cast<int32_t>(audioInputs.size()), static_cast<int32_t>(audioOutputs.size()),
                     shared, mappingName);
  }
};

HRESULT RunBlock(VST* vst) { return vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 120, 4, 4); }

MIDI Note(int32_t delta) {
  MIDI m{};
  m.deltaTime = delta;
  m.bytes[0] = 0x90, m.bytes[1] = 60, m.bytes[2] = 100;
  return m;
}

TEST(VstBaseTest, BufferBlockIsLaidOutAsOneZeroedBlock) {
  auto* vst = new FakeVst(2, 3);
  void** ins = nullptr;
  void** outs = nullptr;
  ASSERT_EQ(vst->AllocateBuffersEx(&ins, &outs), S_OK);
  const size_t c = 512 * 4;
  auto* base = reinterpret_cast<uint8_t*>(ins);
  EXPECT_EQ(ins[0], base + 16);
  EXPECT_EQ(ins[1], base + 16 + c);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(outs), base + 8 * 2 * c);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(outs[k], base + 8 * 2 * c + 24 + k * c);
  EXPECT_EQ(static_cast<float*>(outs[2])[511], 0.0f);
  EXPECT_EQ(vst->AllocateBuffers(), S_FALSE);

  // A property setter with buffers present rebuilds them around a suspend/resume.
  ASSERT_EQ(vst->SetBits(64), S_OK);
  EXPECT_EQ(vst->suspends, 1);
  EXPECT_EQ(vst->resumes, 1);
  void** ins2 = nullptr;
  void** outs2 = nullptr;
  vst->GetBuffers(&ins2, &outs2);
  auto* base2 = reinterpret_cast<uint8_t*>(ins2);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(outs2), base2 + 8 * 2 * 512 * 8);
  vst->FreeBuffers();
  vst->GetBuffers(&ins2, &outs2);
  EXPECT_EQ(ins2, nullptr);
  EXPECT_EQ(outs2, nullptr);
  vst->SetBlockSize(256);  // no buffers: only stored
  EXPECT_EQ(vst->suspends, 1);
  EXPECT_EQ(vst->Release(), 0u);
}

TEST(VstBaseTest, PassThroughCopiesInputZeroToExtraOutputsAndZeroesWithoutInputs) {
  for (int32_t inputs : {1, 0}) {
    auto* vst = new FakeVst(inputs, 3);
    void** ins = nullptr;
    void** outs = nullptr;
    vst->AllocateBuffersEx(&ins, &outs);
    for (int k = 0; k < 3; ++k) static_cast<float*>(outs[k])[7] = 9;
    if (inputs) static_cast<float*>(ins[0])[7] = 0.5f;
    vst->PassThrough();
    for (int k = 0; k < 3; ++k) EXPECT_EQ(static_cast<float*>(outs[k])[7], inputs ? 0.5f : 0.0f);
    vst->Release();
  }
}

TEST(VstBaseTest, AddMidiQueuesRunningOffsetsAndRefusesWhileBypassed) {
  auto* vst = new FakeVst(0, 1);
  EXPECT_EQ(RunBlock(vst), S_OK);  // no buffers: nothing processed
  EXPECT_EQ(vst->blocks, 0);
  vst->AllocateBuffers();
  MIDI records[3] = {Note(10), Note(0), Note(5)};
  EXPECT_EQ(vst->AddMidi(nullptr, 1, 0), E_POINTER);
  EXPECT_EQ(vst->AddMidi(records, 0, 0), E_INVALIDARG);
  ASSERT_EQ(vst->AddMidi(records, 3, 0), S_OK);
  EXPECT_EQ(records[1].deltaTime, 10);
  EXPECT_EQ(records[2].deltaTime, 15);
  vst->SetBypass(7);
  int32_t flag = 0;
  vst->GetBypass(&flag);
  EXPECT_EQ(flag, 1);
  MIDI late = Note(1);
  EXPECT_EQ(vst->AddMidi(&late, 1, 0), S_FALSE);
  RunBlock(vst);  // events queued before bypass still arrive
  ASSERT_EQ(vst->delivered.size(), 3u);
  EXPECT_EQ(vst->delivered[0].deltaTime, 10);
  EXPECT_EQ(vst->delivered[2].deltaTime, 15);
  EXPECT_EQ(vst->blocks, 0);  // bypassed
  vst->SetBypass(0);
  MIDI next = Note(4);
  vst->AddMidi(&next, 1, 0);
  EXPECT_EQ(next.deltaTime, 4);  // a new block starts from 0 again
  RunBlock(vst);
  EXPECT_EQ(vst->blocks, 1);
  vst->Release();
}

TEST(VstBaseTest, ArrayCopiesKeepPointerSlotsAheadOfTheChannels) {
  auto* vst = new FakeVst(2, 2);
  vst->SetBlockSize(4);
  void** ins = nullptr;
  void** outs = nullptr;
  vst->AllocateBuffersEx(&ins, &outs);
  ByteArray in(2 * 8 + 2 * 16);
  reinterpret_cast<float*>(in.data() + 16 + 16)[3] = 7;
  ASSERT_EQ(vst->SetInputsArray(&in), S_OK);
  EXPECT_EQ(static_cast<float*>(ins[1])[3], 7.0f);
  ByteArray small(10);
  EXPECT_EQ(vst->SetInputsArray(&small), E_INVALIDARG);
  vst->PassThrough();
  ByteArray out;
  ASSERT_EQ(vst->GetOutputsArray(&out), S_OK);
  ASSERT_EQ(out.size(), 2u * 16 * 8);
  EXPECT_EQ(reinterpret_cast<void**>(out.data())[1], out.data() + 16 + 16);
  EXPECT_EQ(reinterpret_cast<float*>(out.data() + 16 + 16)[3], 7.0f);
  vst->Release();
}

class CountingSink final : public GenericCallback<VSTNOTIFICATION> {
 public:
  HRESULT OnRelease(VST* object) override {
    ++releases;
    if (keepAlive) {
      keepAlive = false;
      kept = object;
      object->AddRef();
    }
    return 0;
  }
  int releases = 0;
  bool keepAlive = false;
  VST* kept = nullptr;
};

TEST(VstBaseTest, SinksAreAdvisedByIdentityAndCanKeepTheObjectAlive) {
  auto* vst = new FakeVst(0, 0);
  auto* sink = new CountingSink;
  auto* stranger = new CountingSink;
  EXPECT_EQ(vst->Unadvise(sink), E_INVALIDARG);
  ASSERT_EQ(vst->Advise(sink), S_OK);
  EXPECT_EQ(vst->Unadvise(stranger), E_INVALIDARG);
  sink->keepAlive = true;
  EXPECT_EQ(vst->Release(), 1u);  // the sink took a reference in OnRelease
  EXPECT_EQ(sink->releases, 1);
  EXPECT_EQ(vst->unloads, 0);
  EXPECT_EQ(vst->Unadvise(sink), S_OK);
  EXPECT_EQ(vst->Unadvise(sink), E_INVALIDARG);
  EXPECT_EQ(vst->Release(), 0u);
  sink->Release();
  stranger->Release();
}

TEST(VstBaseTest, QueriesNamesOptionsAndAutomationStandIns) {
  auto* vst = new FakeVst(2, 2);
  BstrArray names;
  EXPECT_EQ(vst->GetNames(6, &names), E_INVALIDARG);
  EXPECT_EQ(vst->GetNames(kAudioInputNames, &names), S_OK);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(vst->SetOption(3, 1), E_NOTIMPL);
  EXPECT_EQ(vst->SetOption(1, 1), S_OK);
  int32_t flag = 0;
  EXPECT_EQ(vst->GetVirtualization(&flag), E_NOTIMPL);
  EXPECT_EQ(vst->Command(nullptr), E_INVALIDARG);
  IntArray forget = {1};
  EXPECT_EQ(vst->Command(&forget), S_OK);
  void* info = nullptr;
  EXPECT_EQ(vst->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(vst->GetTypeInfo(0, 0, &info), E_FAIL);
  void* self = nullptr;
  EXPECT_EQ(vst->QueryInterface(IID_VSTZ2, &self), S_OK);
  EXPECT_EQ(self, static_cast<void*>(vst));
  vst->Release();
  EXPECT_EQ(vst->QueryInterface(VSTNOTIFICATION::iid, &self), E_NOINTERFACE);
  BstrArray xml;
  ASSERT_EQ(vst->GetProgramsXml(&xml), S_OK);
  EXPECT_EQ(xml[0], "<e><n>One</n><id>3</id><local_file>/x/one.vstpreset</local_file></e>");
  EXPECT_EQ(vst->GetParametersXml(&xml), E_FAIL);
  vst->Release();
}

TEST(VstBaseTest, ParameterRecordXmlCarriesNativeDescriptionOnlyWhenPresent) {
  ParameterRecord p{"Gain & Level", "G", 0.5, 0, 7, {}};
  EXPECT_EQ(p.ToXml(),
            "<e><n>Gain &amp; Level</n><d>G</d><v>0.500000</v><v2f>0.000000</v2f><i>7</i></e>");
  p.native.assign(100, 0xAB);
  std::string xml = p.ToXml();
  auto at = xml.find("<v3>");
  ASSERT_NE(at, std::string::npos);
  std::string v3 = xml.substr(at + 4, xml.find("</v3>") - at - 4);
  EXPECT_EQ(v3.find('\n'), 64u);  // broken after 64 characters
  EXPECT_EQ(v3.size(), 136u + 3);  // 136 Base64 characters and three line breaks
}

TEST(VstBaseTest, SharedBuffersLiveInNamedMemoryWithDistinctGuidNames) {
  std::set<std::string> seen;
  for (int i = 0; i < 3; ++i) {
    auto* vst = new FakeVst(1, 1);
    BSTR mapping;
    ASSERT_EQ(vst->AllocateSharedBuffers(&mapping), S_OK);
    ASSERT_EQ(mapping.size(), 38u);
    EXPECT_EQ(mapping.front(), '{');
    EXPECT_EQ(mapping.back(), '}');
    EXPECT_EQ(mapping[15], '4');  // version 4
    EXPECT_TRUE(seen.insert(mapping).second);
    struct stat st{};
    std::string file = "/dev/shm/" + mapping;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(static_cast<size_t>(st.st_size), 512u * 4 * 2 * 8);
    vst->Release();  // frees the buffers, and the name with them
    EXPECT_NE(stat(file.c_str(), &st), 0);
  }
}

}  // namespace
}  // namespace plexar
