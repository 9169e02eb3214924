// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled effects saved as bundles: another process loads them and runs their code.
#include <cstdio>
#include <fstream>
#include <regex>

#include "engine_fixture.h"
#include "faust/bundle.h"

namespace {

namespace fs = std::filesystem;
using faust_testing::EngineTest;

std::string RunProbe(const fs::path& bundle) {
  std::string command = std::string(PLEXAR_PROBE) + " '" + bundle.string() + "' 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

double Rms(const std::string& probe, const std::string& channel) {
  std::smatch match;
  std::regex pattern("  " + channel + ": peak [0-9.]+, rms ([0-9.]+)");
  return std::regex_search(probe, match, pattern) ? std::stod(match[1]) : -1;
}

class BundleTest : public EngineTest {
 protected:
  fs::path Save(const std::string& code, const std::string& target) {
    std::string error;
    std::string where = WriteFaustBundle(code, (home_ / target).string(), &error);
    EXPECT_FALSE(where.empty()) << error;
    return where;
  }
};

TEST_F(BundleTest, ASavedBundleRunsItsCodeInAnotherProcess) {
  fs::path bundle = Save("declare name \"Half\"; process = *(0.5), *(0.5);", "out/Half");
  EXPECT_EQ(bundle, home_ / "out" / "Half.vst3");
  EXPECT_TRUE(fs::exists(bundle / "Contents" / "x86_64-linux" / "Half.so"));
  EXPECT_TRUE(fs::exists(bundle / "Contents" / "Resources" / "Half.dsp"));
  std::string probe = RunProbe(bundle);
  EXPECT_NE(probe.find("Name: Half\nVendor: Tessary\n"), std::string::npos) << probe;
  const double in = Rms(probe, "input 0"), out = Rms(probe, "output 0");
  ASSERT_GT(in, 0.1) << probe;
  EXPECT_NEAR(out, in / 2, 2e-4) << probe;
}

TEST_F(BundleTest, TheEngineModuleItselfLoadsLikeAnyModule) {
  // With nothing installed in that process it passes stereo through.
  std::string probe = RunProbe(faustDll);
  EXPECT_NE(probe.find("Name: TessaryChat\nVendor: Tessary\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("Output finite, unchanged"), std::string::npos) << probe;
}

TEST_F(BundleTest, TwoBundlesLoadSideBySide) {
  fs::path half = Save("process = *(0.5);", "Half.vst3");
  fs::path quarter = Save("process = *(0.25);", "Quarter.vst3");
  std::shared_ptr<VST> a = std::make_shared<VST>(), b = std::make_shared<VST>();
  a->file = half.string(), b->file = quarter.string();
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadVst(*a, false));
  ASSERT_TRUE(LoadVst(*b, false));
  ::testing::internal::GetCapturedStdout();
  // Named after their bundles, since the code declares no name.
  EXPECT_EQ(a->name, "Half");
  EXPECT_EQ(b->name, "Quarter");
  EXPECT_EQ(Block(*a, Ramp(1.0f), {})[0][200], Ramp(1.0f)[200] * 0.5f);
  EXPECT_EQ(Block(*b, Ramp(1.0f), {})[0][200], Ramp(1.0f)[200] * 0.25f);
}

TEST_F(BundleTest, SavingAgainReplacesTheBundleAndNeverAnotherFolder) {
  fs::path bundle = Save("process = *(0.5);", "Again.vst3");
  bundle = Save("process = *(0.25);", "Again.vst3");
  std::ifstream code(bundle / "Contents" / "Resources" / "Again.dsp");
  std::string text((std::istreambuf_iterator<char>(code)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("0.25"), std::string::npos);
  fs::create_directories(home_ / "Plain.vst3" / "keep");
  std::string error;
  EXPECT_TRUE(WriteFaustBundle("process = _;", (home_ / "Plain.vst3").string(), &error).empty());
  EXPECT_NE(error.find("is not a VST 3 bundle"), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(home_ / "Plain.vst3" / "keep"));
  EXPECT_TRUE(WriteFaustBundle("process = oops;", (home_ / "Bad").string(), &error).empty());
  EXPECT_FALSE(fs::exists(home_ / "Bad.vst3"));
}

}  // namespace
