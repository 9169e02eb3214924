// SPDX-License-Identifier: GPL-3.0-or-later
// The VST 2 host against real plug-ins packaged for Debian (dragonfly-reverb-vst,
// dpf-plugins-vst, lsp-plugins-vst). A test is skipped when its plug-in is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vst2_test_support.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace plexar {
namespace {

struct RealPlugin {
  const char* path;
  int32_t parameter;  // a continuous parameter to set and read back
  bool bankChunk;     // the plug-in hands out its state as a bank chunk
  // LSP's loader leaks a few blocks of its own each time it is entered (LeakSanitizer shows
  // them from a library it has already closed again); they are not counted as ours.
  bool leaksOnLoad;
};

const RealPlugin kRealPlugins[] = {
    {"/usr/lib/lxvst/DragonflyHallReverb-vst.so", 3, true, false},
    {"/usr/lib/vst/MVerb-vst.so", 2, false, false},
    {"/usr/lib/vst/lsp-plugins/compressor-stereo.so", 10, true, true},
};

void PrintTo(const RealPlugin& plugin, std::ostream* os) { *os << plugin.path; }

/// Loads the plug-in into `vst`, leaving the plug-in's own leaks on loading uncounted.
HRESULT LoadInto(VST* vst, const RealPlugin& plugin) {
  const std::filesystem::path path = plugin.path;
#ifdef __SANITIZE_ADDRESS__
  if (plugin.leaksOnLoad) __lsan_disable();
#endif
  HRESULT hr = vst->Load(&path, nullptr, nullptr, 0, 32, 0);
#ifdef __SANITIZE_ADDRESS__
  if (plugin.leaksOnLoad) __lsan_enable();
#endif
  return hr;
}

Vst2Ptr LoadReal(const RealPlugin& plugin) {
  Vst2Ptr vst = NewVst2();
  EXPECT_EQ(LoadInto(vst.get(), plugin), S_OK) << plugin.path;
  return vst;
}

constexpr int kFrames = 512;

std::string NameOf(const testing::TestParamInfo<RealPlugin>& info) {
  std::string stem = std::filesystem::path(info.param.path).stem().string();
  for (char& c : stem) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return stem;
}

/// Loaded with buffers, fed the same noise on every run.
struct Running {
  Vst2Ptr vst;
  void** ins = nullptr;
  void** outs = nullptr;
  int32_t inputs = 0, outputs = 0;
  uint32_t seed = 12345;

  explicit Running(const RealPlugin& plugin) : vst(LoadReal(plugin)) {
    int32_t ei, eo;
    vst->GetChannelCounts(&inputs, &outputs, &ei, &eo);
    EXPECT_EQ(vst->AllocateBuffersEx(&ins, &outs), S_OK);
  }

  /// One block of noise; all outputs of the block appended to `out`.
  void Block(int64_t time, std::vector<float>* out) {
    for (int32_t k = 0; k < inputs; ++k) {
      auto* channel = static_cast<float*>(ins[k]);
      for (int s = 0; s < kFrames; ++s) {
        seed = seed * 1664525u + 1013904223u;
        channel[s] = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * 0.5f;
      }
    }
    ASSERT_EQ(vst->Process(0, 48000, time, 0, time, 0, 0, 0, 0, 120, 4, 4), S_OK);
    for (int32_t k = 0; k < outputs; ++k) {
      const auto* channel = static_cast<const float*>(outs[k]);
      out->insert(out->end(), channel, channel + kFrames);
    }
  }

  std::vector<float> Blocks(int count) {
    std::vector<float> out;
    for (int b = 0; b < count; ++b) Block(int64_t{b} * kFrames, &out);
    return out;
  }
};

class Vst2RealTest : public testing::TestWithParam<RealPlugin> {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(GetParam().path)) GTEST_SKIP() << GetParam().path << " not installed";
  }
};

TEST_P(Vst2RealTest, LoadsReportsAndProcessesNoise) {
  Running p(GetParam());
  BSTR name, vendor;
  p.vst->GetInfo(&name, &vendor);
  EXPECT_FALSE(name.empty());
  EXPECT_FALSE(vendor.empty());
  EXPECT_GT(p.outputs, 0);
  std::vector<ParameterRecord> params;
  ASSERT_EQ(p.vst->GetParameters(&params), S_OK);
  ASSERT_GT(params.size(), static_cast<size_t>(GetParam().parameter));
  for (const auto& param : params) {
    EXPECT_FALSE(param.name.empty()) << param.id;
    EXPECT_GE(param.value, 0.0);
    EXPECT_LE(param.value, 1.0);
  }
  std::vector<ProgramRecord> programs;
  ASSERT_EQ(p.vst->GetPrograms(&programs), S_OK);
  EXPECT_GE(programs.size(), 1u);
  std::vector<float> out;
  bool changed = false;
  for (int b = 0; b < 16; ++b) {
    const size_t at = out.size();
    p.Block(int64_t{b} * kFrames, &out);
    for (int32_t k = 0; k < p.outputs && p.inputs > 0; ++k) {
      const auto* in = static_cast<const float*>(p.ins[k < p.inputs ? k : 0]);
      for (int s = 0; s < kFrames; ++s) changed = changed || out[at + k * kFrames + s] != in[s];
    }
  }
  for (float v : out) ASSERT_TRUE(std::isfinite(v));
  EXPECT_TRUE(changed);
  float peak = 0;
  for (float v : out) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.0f);
}

TEST_P(Vst2RealTest, ParameterSetIsReadBack) {
  Vst2Ptr vst = LoadReal(GetParam());
  const int32_t id = GetParam().parameter;
  for (float value : {0.3f, 0.8f}) {
    ASSERT_EQ(vst->SetParameter(id, value), S_OK);
    float back = -1;
    ASSERT_EQ(vst->GetParameter(id, &back), S_OK);
    EXPECT_NEAR(back, value, 0.01);
  }
}

TEST_P(Vst2RealTest, BankLoadsIntoAFreshInstanceWithTheSameResult) {
  Running first(GetParam());
  first.vst->SetParameter(GetParam().parameter, 0.3f);
  std::vector<uint8_t> bank;
  ASSERT_EQ(first.vst->PresetFileCmd(nullptr, 0, &bank, nullptr), S_OK);
  if (!GetParam().bankChunk) {
    // Nothing to save: no file is written, and saving still succeeds.
    EXPECT_TRUE(bank.empty());
    const auto file = std::filesystem::path(testing::TempDir()) / "tessary_vst2_real.fxb";
    std::filesystem::remove(file);
    EXPECT_EQ(first.vst->PresetFileCmd(nullptr, 0, nullptr, &file), S_OK);
    EXPECT_FALSE(std::filesystem::exists(file));
    return;
  }
  ASSERT_FALSE(bank.empty());
  Running second(GetParam());
  ASSERT_EQ(second.vst->PresetFileCmd(nullptr, 1, &bank, nullptr), S_OK);
  std::vector<ParameterRecord> a, b;
  first.vst->GetParameters(&a);
  second.vst->GetParameters(&b);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i].value, b[i].value, 1e-4) << a[i].name;
  EXPECT_EQ(first.Blocks(8), second.Blocks(8));
}

TEST_P(Vst2RealTest, UnloadAndLoadAgain) {
  Running p(GetParam());
  p.Blocks(2);
  p.vst->FreeBuffers();
  ASSERT_EQ(p.vst->Unload(), S_OK);
  ASSERT_EQ(LoadInto(p.vst.get(), GetParam()), S_OK);
  ASSERT_EQ(p.vst->AllocateBuffersEx(&p.ins, &p.outs), S_OK);
  for (float v : p.Blocks(4)) ASSERT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Packaged, Vst2RealTest, testing::ValuesIn(kRealPlugins), NameOf);

TEST(Vst2RealTogetherTest, SeveralPluginsAtOnce) {
  std::vector<std::unique_ptr<Running>> loaded;
  for (const auto& plugin : kRealPlugins) {
    if (!std::filesystem::exists(plugin.path)) continue;
    for (int copy = 0; copy < 2; ++copy) loaded.push_back(std::make_unique<Running>(plugin));
  }
  if (loaded.empty()) GTEST_SKIP() << "no packaged VST 2 plug-in installed";
  for (int b = 0; b < 4; ++b) {
    for (auto& p : loaded) {
      std::vector<float> out;
      p->Block(int64_t{b} * kFrames, &out);
      for (float v : out) ASSERT_TRUE(std::isfinite(v));
    }
  }
  // Two instances of one plug-in fed the same noise give the same output.
  if (loaded.size() >= 2) {
    EXPECT_EQ(loaded[0]->Blocks(2), loaded[1]->Blocks(2));
  }
}

}  // namespace
}  // namespace plexar
