// SPDX-License-Identifier: GPL-3.0-or-later
// The Faust engine through the plug-in host, as the rack uses it.
#include <signal.h>

#include <atomic>
#include <cmath>
#include <cstring>

#include <xmmintrin.h>

#include "engine_fixture.h"
#include "faust/workbench.h"
#include "plexar/vst3/controller.h"

namespace {

using faust_testing::EngineTest;

TEST_F(EngineTest, AGainOfAHalfHalvesTheSignalExactly) {
  auto half = Load("process = *(0.5), *(0.5);");
  ASSERT_TRUE(half) << last_error_;
  EXPECT_EQ(half->name, "TessaryChat");
  EXPECT_EQ(half->vendor, "Tessary");
  EXPECT_EQ(half->numInputs, 2);
  EXPECT_EQ(half->numOutputs, 2);
  auto out = Block(*half, Ramp(1.0f), Ramp(-0.5f));
  for (size_t i = 0; i < 512; ++i) {
    EXPECT_EQ(out[0][i], Ramp(1.0f)[i] * 0.5f);
    EXPECT_EQ(out[1][i], Ramp(-0.5f)[i] * 0.5f);
  }
}

// libfaust looked for its own installation through a shell at every compile: a program
// started from model code's compile, which a confined host cannot allow.
TEST_F(EngineTest, ACompileStartsNoOtherProgram) {
  static std::atomic<int> children{0};
  struct sigaction counting {}, previous{};
  counting.sa_handler = [](int) { children.fetch_add(1); };
  counting.sa_flags = SA_RESTART;
  sigaction(SIGCHLD, &counting, &previous);
  auto tremolo = Load("import(\"stdfaust.lib\"); process = *(1 - 0.5 * (0.5 + 0.5 * os.osc(5)));");
  sigaction(SIGCHLD, &previous, nullptr);
  ASSERT_TRUE(tremolo) << last_error_;
  EXPECT_EQ(children.load(), 0);
}

TEST_F(EngineTest, EveryEntryKeepsTheProgramItWasLoadedWith) {
  auto half = Load("process = *(0.5);");
  auto quarter = Load("declare name \"Quarter\"; process = *(0.25);");
  ASSERT_TRUE(half && quarter);
  EXPECT_EQ(quarter->name, "Quarter");
  // A mono program: one input, one output.
  EXPECT_EQ(half->numInputs, 1);
  EXPECT_EQ(half->numOutputs, 1);
  EXPECT_EQ(Block(*half, Ramp(1.0f), {})[0][100], Ramp(1.0f)[100] * 0.5f);
  EXPECT_EQ(Block(*quarter, Ramp(1.0f), {})[0][100], Ramp(1.0f)[100] * 0.25f);
}

TEST_F(EngineTest, ControlsAreParametersShownInPlainUnits) {
  std::string printed;
  auto record = Load(R"(declare name "Tremolo";
import("stdfaust.lib");
depth = vslider("depth[unit:dB]", -12, -70, 4, 0.1);
mode = nentry("mode", 1, 0, 3, 1);
on = checkbox("on");
process = *(ba.db2linear(depth) * (mode + 1) * on);)", &printed);
  ASSERT_TRUE(record) << last_error_;
  EXPECT_EQ(record->name, "Tremolo");
  ASSERT_EQ(record->params.size(), 4u);
  EXPECT_EQ(record->params[0].name, "depth");
  EXPECT_EQ(record->params[1].name, "mode");
  EXPECT_EQ(record->params[2].name, "on");
  EXPECT_EQ(record->params[3].name, "Bypass");
  EXPECT_NE(printed.find("\x1b[36mLoaded plugin: Tremolo by Tessary\r\n"
                         "Parameter: depth (-12.0 dB)\r\nParameter: mode (1)\r\n"
                         "Parameter: on (Off)\r\nParameter: Bypass (Off)\r\n"
                         "\x1b[0m\x1b[33mUse /vst param 1 <name> <value>"),
            std::string::npos)
      << ::testing::PrintToString(printed);
  // Number entries and switches report their steps; sliders are continuous.
  auto steps = [&](size_t i) {
    plexar::vst3::ParameterInfo info{};
    std::memcpy(&info, record->params[i].native.data(), sizeof info);
    return info.stepCount;
  };
  EXPECT_EQ(steps(0), 0);
  EXPECT_EQ(steps(1), 3);
  EXPECT_EQ(steps(2), 1);
  plexar::BSTR text;
  ASSERT_EQ(record->plugin->GetParameterText(0, 1.0f, &text), plexar::S_OK);
  EXPECT_EQ(text, "4.0 dB");
}

TEST_F(EngineTest, ParameterChangesReachTheSound) {
  auto record = Load(R"(process = *(hslider("level", 1, 0, 2, 0.01));)");
  ASSERT_TRUE(record);
  ASSERT_EQ(record->plugin->SetParameter(record->params[0].id, 0.25f), plexar::S_OK);
  // 0.25 of the range 0...2 is a level of 0.5.
  EXPECT_FLOAT_EQ(Block(*record, Ramp(1.0f), {})[0][256], Ramp(1.0f)[256] * 0.5f);
}

TEST_F(EngineTest, StateComesBackInAFreshInstance) {
  const char* code = R"(process = *(hslider("level", 1, 0, 2, 0.01));)";
  auto first = Load(code);
  ASSERT_TRUE(first);
  first->plugin->SetParameter(first->params[0].id, 0.75f);
  plexar::ByteArray state;
  ASSERT_EQ(first->plugin->GetState(0, &state), plexar::S_OK);
  auto second = Load(code);
  ASSERT_TRUE(second);
  ASSERT_EQ(second->plugin->SetState(0, &state), plexar::S_OK);
  float value = 0;
  second->plugin->GetParameter(second->params[0].id, &value);
  EXPECT_FLOAT_EQ(value, 0.75f);
  EXPECT_FLOAT_EQ(Block(*second, Ramp(1.0f), {})[0][256], Ramp(1.0f)[256] * 1.5f);
}

TEST_F(EngineTest, ACompilerErrorIsPrintedInRedAndKept) {
  std::string printed;
  EXPECT_FALSE(Load("process = nothing_here;", &printed));
  EXPECT_EQ(printed.rfind("\x1b[31mFaust compilation error: ", 0), 0u) << printed;
  EXPECT_NE(last_error_.find("nothing_here"), std::string::npos) << last_error_;
  // Code without outputs cannot be an effect and says so.
  EXPECT_FALSE(Load("process = !;"));
  EXPECT_NE(last_error_.find("no output"), std::string::npos) << last_error_;
}

TEST_F(EngineTest, AReverbFromTheLibrariesRings) {
  auto reverb = Load("import(\"stdfaust.lib\"); process = re.zita_rev1_stereo(0, 200, 6000, 3, 2, 48000);");
  ASSERT_TRUE(reverb) << last_error_;
  std::vector<float> impulse(512, 0.0f), silence(512, 0.0f);
  impulse[0] = 1.0f;
  Block(*reverb, impulse, impulse);
  double energy = 0;
  for (int b = 0; b < 20; ++b) {
    for (const auto& channel : Block(*reverb, silence, silence)) {
      for (float v : channel) {
        ASSERT_TRUE(std::isfinite(v));
        energy += v * v;
      }
    }
  }
  EXPECT_GT(energy, 1e-6);
}

// Effects run with the CPU flushing denormals: a decaying recursion reaches zero instead of
// crawling through slow subnormal values, and whoever calls keeps its own floating-point mode.
TEST_F(EngineTest, ADecayingRecursionFlushesToZeroInTheCallersMode) {
  auto decay = Load("process = + ~ *(0.5), + ~ *(0.75);");
  ASSERT_TRUE(decay) << last_error_;
  std::vector<float> impulse(512, 0.0f);
  impulse[0] = 1.0f;
  const unsigned mode = _mm_getcsr();
  const auto out = Block(*decay, impulse, impulse);
  EXPECT_EQ(_mm_getcsr(), mode);
  for (const auto& channel : out) {
    EXPECT_EQ(channel[0], 1.0f);
    EXPECT_EQ(channel[511], 0.0f);
    for (float v : channel) ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL);
  }
}

TEST_F(EngineTest, TheLibraryFolderHoldsTheLibraries) {
  ASSERT_FALSE(faustFolder.empty());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(faustFolder) / "libs" / "stdfaust.lib"));
}

}  // namespace
