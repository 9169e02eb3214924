// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, processing, state and presets through plexar::VST3 with the test gain module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "plexar/vst3/preset_file.h"
#include "plexar/vst3/processing.h"
#include "vst3_test_support.h"

namespace plexar {
namespace {

using vst3::IComponent;

TEST(Vst3HostTest, LoadsTheGainBundleAndDescribesIt) {
  VstPtr vst = LoadVst3(TESSARY_GAIN_BUNDLE);
  BSTR name, vendor, sub;
  vst->GetInfo(&name, &vendor);
  vst->GetSubCategories(&sub);
  EXPECT_EQ(name, "TessaryGain");
  EXPECT_EQ(vendor, "Tessary Tests");
  EXPECT_EQ(sub, "Fx|Dynamics");
  int32_t version = 0;
  vst->GetVstVersion(&version);
  EXPECT_EQ(version, 3714);
  int32_t ai, ao, ei, eo;
  vst->GetChannelCounts(&ai, &ao, &ei, &eo);
  EXPECT_EQ(ai, 3);
  EXPECT_EQ(ao, 2);
  EXPECT_EQ(ei, 0);  // "Fx" hides the declared event input
  EXPECT_EQ(eo, 0);
  BstrArray names;
  vst->GetNames(kAudioInputNames, &names);
  EXPECT_EQ(names, (BstrArray{"Main In", "Main In", "Side"}));

  auto probe = Probe(vst.get());
  ASSERT_TRUE(probe);
  auto* rec = probe->Record();
  EXPECT_TRUE(rec->hostNameTarnwick);
  EXPECT_EQ(rec->initializeCalls, 2);  // its own controller is initialized again
  EXPECT_EQ(rec->setupCalls, 1);
  EXPECT_EQ(rec->processingCalls, 1);
  EXPECT_EQ(rec->activeCalls, 0);  // active only after Resume
  EXPECT_EQ(rec->lastSetup.maxSamplesPerBlock, 512);
  EXPECT_EQ(rec->lastSetup.sampleRate, 48000.0);
  EXPECT_EQ(rec->componentStates, 1);
  EXPECT_EQ(rec->componentStateGain, 0.5);

  std::vector<ParameterRecord> params;
  ASSERT_EQ(vst->GetParameters(&params), S_OK);
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(params[0].name, "Gain");
  EXPECT_EQ(params[0].shortName, "G");
  EXPECT_EQ(params[0].value, 0.5);
  EXPECT_EQ(params[0].native.size(), sizeof(vst3::ParameterInfo));
  BSTR text;
  ASSERT_EQ(vst->GetParameterText(0, 0.25f, &text), S_OK);
  EXPECT_EQ(text, "0.50 x");
  char buffer[128];
  EXPECT_EQ(vst->FormatParameter(0, 1.0f, buffer), S_OK);
  EXPECT_STREQ(buffer, "2.00 x");
  int32_t latency = 0;
  EXPECT_EQ(vst->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 7);
  EXPECT_EQ(vst->CanProcessPrecision(32), S_OK);
  EXPECT_EQ(vst->CanProcessPrecision(64), E_FAIL);
  EXPECT_EQ(vst->CanProcessPrecision(16), E_FAIL);
  std::vector<ProgramRecord> programs;
  ASSERT_EQ(vst->GetPrograms(&programs), S_OK);
  EXPECT_EQ(programs.size(), 1u);  // no units and no presets: one empty record
}

TEST(Vst3HostTest, ProcessesInPlaceWithSideChainAndParameterChanges) {
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  ASSERT_EQ(vst->Resume(0), S_OK);
  void** ins = nullptr;
  void** outs = nullptr;
  ASSERT_EQ(vst->AllocateBuffersEx(&ins, &outs), S_OK);
  auto in = [&](int k) { return static_cast<float*>(ins[k]); };
  auto out = [&](int k) { return static_cast<float*>(outs[k]); };
  for (int s = 0; s < 512; ++s) in(0)[s] = 1.0f, in(1)[s] = 2.0f, in(2)[s] = 0.5f;
  ASSERT_EQ(RunBlock(vst.get(), 133), S_OK);
  EXPECT_FLOAT_EQ(out(0)[0], 1.5f);    // (main + side) at unity gain
  EXPECT_FLOAT_EQ(out(1)[511], 2.5f);
  auto* rec = Probe(vst.get())->Record();
  EXPECT_EQ(rec->lastTempo, 133.0);
  EXPECT_EQ(rec->tailCalls, 1);
  EXPECT_EQ(rec->parameterChangeBlocks, 0);

  ASSERT_EQ(vst->SetParameter(0, 7.0f), S_OK);  // clamped to 1
  RunBlock(vst.get());
  EXPECT_EQ(rec->parameterChangeBlocks, 1);
  EXPECT_EQ(rec->lastChangeValue, 1.0);
  EXPECT_FLOAT_EQ(out(0)[3], 3.0f);
  RunBlock(vst.get());
  EXPECT_EQ(rec->parameterChangeBlocks, 1);  // a change is delivered once

  RunBlock(vst.get(), 120, 0);  // no sample rate: no context for this block
  EXPECT_TRUE(rec->lastContextNull);
  RunBlock(vst.get());
  EXPECT_FALSE(rec->lastContextNull);

  vst->SetBypass(1);
  RunBlock(vst.get());
  EXPECT_FLOAT_EQ(out(0)[0], 1.0f);
  EXPECT_FLOAT_EQ(out(1)[0], 2.0f);
  vst->SetSilence(1);
  int before = rec->processCalls;
  RunBlock(vst.get());
  EXPECT_EQ(out(0)[0], 0.0f);
  EXPECT_EQ(rec->processCalls, before);
}

TEST(Vst3HostTest, SetFormatChangesOnlyWhatDiffers) {
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  auto probe = Probe(vst.get());
  auto* rec = probe->Record();
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  EXPECT_EQ(vst->SetFormat(48000, 512, 32, 1), S_FALSE);
  EXPECT_EQ(rec->setupCalls, 1);
  void** before = nullptr;
  void** unused = nullptr;
  vst->GetBuffers(&before, &unused);
  ASSERT_EQ(vst->SetFormat(44100, 256, 32, 1), S_OK);
  EXPECT_EQ(rec->lastSetup.maxSamplesPerBlock, 256);
  EXPECT_EQ(rec->lastSetup.sampleRate, 44100.0);
  void** ins = nullptr;
  void** outs = nullptr;
  vst->GetBuffers(&ins, &outs);
  ASSERT_NE(ins, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(static_cast<void*>(outs)) - static_cast<uint8_t*>(static_cast<void*>(ins)),
            8 * 3 * 256 * 4);
  ASSERT_EQ(vst->SetFormat(44100, 256, 64, 0), E_FAIL);  // the module cannot do 64-bit
  vst->GetBuffers(&ins, &outs);
  EXPECT_EQ(ins, nullptr);  // allocate flag 0: freed, not rebuilt
}

TEST(Vst3HostTest, StateRoundTripsAsPresetImageAndAsSizedParts) {
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  vst->AllocateBuffers();
  ByteArray saved;
  ASSERT_EQ(vst->GetState(0, &saved), S_OK);
  ASSERT_GE(saved.size(), 48u);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "VST3");
  EXPECT_EQ(std::string(saved.begin() + 8, saved.begin() + 40), vst3::UidToText(IComponent::iid.data()));

  vst->SetParameter(0, 0.9f);
  RunBlock(vst.get());
  float value = 0;
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.9f);
  ASSERT_EQ(vst->SetState(0, &saved), S_OK);
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.5f);

  // Component part (a double), then an empty controller part.
  ByteArray parts(8 + 8 + 8, 0);
  parts[0] = 8;
  double g = 0.125;
  std::memcpy(parts.data() + 8, &g, 8);
  EXPECT_EQ(vst->SetState(0, &parts), E_FAIL);  // the controller refuses an empty state
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.125f);  // the component took its part first

  ByteArray lower = saved;
  std::memcpy(lower.data(), "vst3", 4);
  EXPECT_EQ(vst->SetState(0, &lower), E_FAIL);  // read as a preset image, not as parts
  ByteArray ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(vst->SetState(0, &ten), E_INVALIDARG);
  EXPECT_EQ(vst->SetState(0, nullptr), E_INVALIDARG);
}

class Vst3PresetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() / ("plexar-home-" + std::to_string(getpid()));
    std::filesystem::remove_all(home_);
    const char* old = std::getenv("HOME");
    oldHome_ = old ? old : "";
    setenv("HOME", home_.c_str(), 1);
    folder_ = home_ / ".vst3" / "presets" / "Tessary Tests" / "TessaryGain";
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    setenv("HOME", oldHome_.c_str(), 1);
    std::filesystem::remove_all(home_);
  }
  std::filesystem::path home_, folder_;
  std::string oldHome_;
};

TEST_F(Vst3PresetTest, SavedPresetReloadsAndOwnClassIdOnlyLoadsThroughTheFolderScan) {
  std::filesystem::path file = home_ / "saved.vstpreset";
  {
    VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
    EXPECT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, nullptr), E_ABORT);
    EXPECT_EQ(vst->PresetFileCmd(nullptr, 2, nullptr, &file), E_NOTIMPL);
    ASSERT_EQ(vst->SetState(0, nullptr), E_INVALIDARG);
    vst->SetParameter(0, 0.75f);
    vst->AllocateBuffers();
    RunBlock(vst.get());
    ASSERT_EQ(vst->PresetFileCmd(nullptr, 0, nullptr, &file), S_OK);
    vst->SetParameter(0, 0.1f);
    RunBlock(vst.get());
    ASSERT_EQ(vst->PresetFileCmd(nullptr, 1, nullptr, &file), S_OK);
    float value = 0;
    vst->GetParameter(0, &value);
    EXPECT_FLOAT_EQ(value, 0.75f);
    std::filesystem::path missing = home_ / "missing.vstpreset";
    EXPECT_EQ(vst->PresetFileCmd(nullptr, 1, nullptr, &missing), E_FAIL);

    // The same preset naming the plug-in's own class.
    vst3::PClassInfo info{};
    void* native = nullptr;
    ASSERT_EQ(vst->GetNative(vst3::IPluginFactory::iid.data(), &native), S_OK);
    auto factory = vst3::Ref<vst3::IPluginFactory>::Adopt(static_cast<vst3::IPluginFactory*>(native));
    factory->getClassInfo(0, &info);
    std::vector<uint8_t> comp(8);
    double g = 0.3;
    std::memcpy(comp.data(), &g, 8);
    std::vector<uint8_t> cont = comp;
    auto own = vst3::BuildPreset(info.cid, comp, &cont);
    EXPECT_EQ(vst->PresetFileCmd(nullptr, 1, &own, nullptr), E_FAIL);
    std::ofstream(folder_ / "Warm Pad.VSTPRESET", std::ios::binary)
        .write(reinterpret_cast<const char*>(own.data()), static_cast<std::streamsize>(own.size()));
    std::ofstream(folder_ / "notes.txt") << "not a preset";
  }
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  std::vector<ProgramRecord> programs;
  ASSERT_EQ(vst->GetPrograms(&programs), S_OK);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].name, "warm pad");
  EXPECT_EQ(programs[0].local_file, folder_ / "Warm Pad.VSTPRESET");
  ASSERT_EQ(vst->SetProgram(0), S_OK);
  float value = 0;
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.3f);
  EXPECT_EQ(vst->SetProgram(1), E_FAIL);
}

TEST(Vst3HostTest, LoadFailuresLeaveAReusableObject) {
  VstPtr vst = NewVst3();
  std::filesystem::path missing = "/nonexistent/Nothing.vst3";
  EXPECT_EQ(vst->Load(nullptr, nullptr, nullptr, 0, 32, 0), E_INVALIDARG);
  EXPECT_EQ(vst->Load(&missing, nullptr, nullptr, 0, 32, 0), E_FAIL);
  std::filesystem::path notPlugin = "libm.so.6";
  EXPECT_EQ(vst->Load(&notPlugin, nullptr, nullptr, 0, 32, 0), E_NOINTERFACE);
  std::filesystem::path gain = TESSARY_GAIN_SO;
  EXPECT_EQ(vst->Load(&gain, nullptr, nullptr, 0, 64, 0), E_FAIL);  // no 64-bit processing
  EXPECT_EQ(vst->Load(&gain, nullptr, nullptr, 0, 32, 0), S_OK);
  EXPECT_EQ(vst->Load(&gain, nullptr, nullptr, 0, 32, 0), S_FALSE);
  float value = 0;
  EXPECT_EQ(vst->Unload(), S_OK);
  EXPECT_EQ(vst->GetParameter(0, &value), E_UNEXPECTED);
  EXPECT_EQ(vst->Load(&gain, nullptr, nullptr, 0, 32, 0), S_OK);
}

TEST(Vst3HostTest, CallerSuppliedModuleStaysLoaded) {
  void* module = dlopen(TESSARY_GAIN_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr);
  void* entry = dlsym(module, "GetPluginFactory");
  {
    VstPtr vst = NewVst3();
    std::filesystem::path path = "engine";
    ASSERT_EQ(vst->Load(&path, module, entry, 0, 32, 0), S_OK);
    vst->Unload();
  }
  // Still ours to use and close.
  EXPECT_NE(dlsym(module, "GetPluginFactory"), nullptr);
  dlclose(module);
}

TEST(Vst3HostTest, ClassIndexPicksAmongAudioModuleClasses) {
  VstPtr vst = NewVst3();
  std::filesystem::path multi = TESSARY_MULTI_SO;
  EXPECT_EQ(vst->Load(&multi, nullptr, nullptr, 0, 32, -1), 2);
  EXPECT_EQ(vst->Load(&multi, nullptr, nullptr, 0, 32, 0), S_FALSE);  // module stays open
  ASSERT_EQ(vst->Load(&multi, nullptr, nullptr, 0, 32, 2), S_OK);
  BSTR name;
  vst->GetInfo(&name, nullptr);
  EXPECT_EQ(name, "Beta");
  struct Case { int32_t index; const char* name; };
  for (Case c : {Case{5, "Alpha"}, Case{1, "Alpha"}, Case{0, "Alpha"}}) {
    VstPtr other = LoadVst3(multi, c.index);
    other->GetInfo(&name, nullptr);
    EXPECT_EQ(name, c.name) << c.index;
  }
}

}  // namespace
}  // namespace plexar
